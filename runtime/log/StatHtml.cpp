#include "runtime/log/StatHtml.h"

#include <iostream>

namespace Stat::Html {

GeneratorV1::GeneratorV1(Object& root, std::ostream& out, std::istream& in)
    : out_(out), in_(in), stack_{&root}, current_(&root) {}

bool GeneratorV1::generate() {
  ignore_depth_ = 0;
  failed_ = false;
  generate_body();
  return !failed_ && out_.good();
}

void GeneratorV1::generate_body() {
  for (;;) {
    const Token token = parse();
    switch (token.kind) {
      case Kind::kEnd:
        return;
      case Kind::kSection:
        if (token.text != "end") {
          OpenSection(token.text);
        } else if (stack_.size() > 1) {
          return;
        } else {
          // Ending the page here would drop the rest of the template.
          std::cerr << "Stat::Html: <!--GEN.end--> without a section ignored." << std::endl;
        }
        break;
      case Kind::kValue:
        if (const Value value = FindValue(token.text)) {
          put(value.text);
        } else {
          put(captured_);
        }
        break;
    }
  }
}

GeneratorV1::Token GeneratorV1::parse() {
  input_state_ = &GeneratorV1::pinput_initial;
  output_state_ = &GeneratorV1::poutput_pass;
  kind_ = Kind::kEnd;
  text_.clear();
  captured_.clear();
  complete_ = false;
  for (int c = in_.get(); c != std::istream::traits_type::eof(); c = in_.get()) {
    (this->*input_state_)(static_cast<char>(c));
    (this->*output_state_)(static_cast<char>(c));
    if (complete_) {
      return {kind_, text_};
    }
  }
  // What looked like the start of a directive is template text after all.
  if (output_state_ == &GeneratorV1::poutput_capture) {
    put(captured_);
  }
  return {Kind::kEnd, ""};
}

void GeneratorV1::OpenSection(const std::string& name) {
  const std::unique_ptr<IteratorBase> elements = current_->statistics_iterator(name);
  if (!elements) {
    sub_object(name);
    return;
  }
  if (!elements->IsValid()) {
    ignore_object();
    return;
  }
  RenderEach(*elements, name);
}

void GeneratorV1::RenderEach(IteratorBase& elements, const std::string& name) {
  const std::istream::pos_type body = in_.tellg();
  sub_object(elements.Get());
  while (elements.Next()) {
    // The body may have run to the end of the input, which leaves the stream failed.
    in_.clear();
    if (body == std::istream::pos_type(-1) || !in_.seekg(body)) {
      // A pipe cannot go back: render the section once and carry on after it.
      std::cerr << "Stat::Html: the template input cannot seek, section \"" << name << "\" rendered once." << std::endl;
      in_.clear();
      failed_ = true;
      return;
    }
    sub_object(elements.Get());
  }
}

Value GeneratorV1::FindValue(const std::string& name) const {
  for (auto object = stack_.rbegin(); object != stack_.rend(); ++object) {
    if (Value value = (*object)->statistics_value(name)) {
      return value;
    }
  }
  return {};
}

void GeneratorV1::sub_object(const std::string& name) {
  if (Object* child = current_->statistics_object(name)) {
    sub_object(*child);
    return;
  }
  ignore_object();
}

void GeneratorV1::sub_object(Object& object) {
  stack_.push_back(&object);
  current_ = &object;
  generate_body();
  stack_.pop_back();
  current_ = stack_.back();
}

void GeneratorV1::ignore_object() {
  class UnknownObject : public Object {
   public:
    Value statistics_value(const std::string&) const override { return {}; }
    Object* statistics_object(const std::string&) const override { return nullptr; }
    std::unique_ptr<IteratorBase> statistics_iterator(const std::string&) const override { return nullptr; }
  } unknown;
  ++ignore_depth_;
  sub_object(unknown);
  --ignore_depth_;
}

void GeneratorV1::put(char c) {
  if (ignore_depth_ == 0) {
    out_.put(c);
  }
}

void GeneratorV1::put(const std::string& text) {
  if (ignore_depth_ == 0) {
    out_ << text;
  }
}

void GeneratorV1::pinput_initial(char c) {
  if (c == '<') {
    next_state(&GeneratorV1::pinput_section_open, &GeneratorV1::poutput_capture);
  } else if (c == '%') {
    next_state(&GeneratorV1::pinput_value_open, &GeneratorV1::poutput_capture);
  }
}

void GeneratorV1::pinput_section_open(char c) {
  Expect(c, '!', &GeneratorV1::pinput_section_comment1);
}

void GeneratorV1::pinput_section_body(char c) {
  if (c == '>') {
    next_input(&GeneratorV1::pinput_initial);
  }
}

void GeneratorV1::pinput_section_comment1(char c) {
  Expect(c, '-', &GeneratorV1::pinput_section_comment2);
}

void GeneratorV1::pinput_section_comment2(char c) {
  if (c != '-') {
    PassOn();
    return;
  }
  text_.clear();
  kind_ = Kind::kSection;
  next_input(&GeneratorV1::pinput_section_obj_begin1);
}

void GeneratorV1::pinput_section_obj_begin1(char c) {
  Expect(c, 'G', &GeneratorV1::pinput_section_obj_begin2);
}

void GeneratorV1::pinput_section_obj_begin2(char c) {
  Expect(c, 'E', &GeneratorV1::pinput_section_obj_begin3);
}

void GeneratorV1::pinput_section_obj_begin3(char c) {
  Expect(c, 'N', &GeneratorV1::pinput_section_obj_begin4);
}

void GeneratorV1::pinput_section_obj_begin4(char c) {
  Expect(c, '.', &GeneratorV1::pinput_section_obj_name);
}

void GeneratorV1::pinput_section_obj_name(char c) {
  if (c == '-') {
    next_input(&GeneratorV1::pinput_section_obj_name_end1);
  } else {
    text_ += c;
  }
}

void GeneratorV1::pinput_section_obj_name_end1(char c) {
  if (c == '-') {
    next_input(&GeneratorV1::pinput_section_obj_name_end2);
    return;
  }
  // A single "-" belongs to the name.
  text_ += '-';
  text_ += c;
  next_input(&GeneratorV1::pinput_section_obj_name);
}

void GeneratorV1::pinput_section_obj_name_end2(char c) {
  // Anything between the "--" and the ">" is dropped.
  if (c == '>') {
    complete_ = true;
    next_input(&GeneratorV1::pinput_delayed_initial);
  }
}

void GeneratorV1::pinput_value_open(char c) {
  if (c == '%') {
    // "%%" stays as it is: this writes the first, the pass state the second.
    put('%');
    next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
    return;
  }
  text_ = c;
  kind_ = Kind::kValue;
  next_input(&GeneratorV1::pinput_value_body);
}

void GeneratorV1::pinput_value_body(char c) {
  if (c == '%') {
    complete_ = true;
    next_input(&GeneratorV1::pinput_delayed_initial);
  } else {
    text_ += c;
  }
}

void GeneratorV1::pinput_delayed_initial(char c) {
  next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
  pinput_initial(c);
}

void GeneratorV1::poutput_pass(char c) {
  put(c);
}

void GeneratorV1::poutput_capture(char c) {
  captured_ += c;
}

void GeneratorV1::poutput_ignore(char) {}

void GeneratorV1::PassOn() {
  put(captured_);
  next_state(&GeneratorV1::pinput_section_body, &GeneratorV1::poutput_pass);
}

void GeneratorV1::Expect(char c, char wanted, State next) {
  if (c == wanted) {
    next_input(next);
  } else {
    PassOn();
  }
}

void GeneratorV1::next_input(State state) {
  if (state == input_state_) {
    return;
  }
  input_state_ = state;
  on_change_input_state();
}

void GeneratorV1::next_output(State state) {
  if (state == output_state_) {
    return;
  }
  output_state_ = state;
  on_change_output_state();
}

void GeneratorV1::next_state(State input, State output) {
  next_input(input);
  next_output(output);
}

void GeneratorV1::on_change_input_state() {
  // Each input state sets up what it needs on its transition.
}

void GeneratorV1::on_change_output_state() {
  // A new capture starts empty.
  if (output_state_ == &GeneratorV1::poutput_capture) {
    captured_.clear();
  }
}

bool generateV1(Object& root, std::ostream& out, std::istream& in) {
  return GeneratorV1(root, out, in).generate();
}

}  // namespace Stat::Html
