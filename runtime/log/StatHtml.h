#pragma once

#include "runtime/log/StatObject.h"

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace Stat::Html {

// Copies an HTML template from in to out, filling it from a statistics tree:
// "%name%" becomes the value of that name, looked up from the current object
// outward to the root; "<!--GEN.name-->" ... "<!--GEN.end-->" is rendered once
// for each element of the current object's list of that name, or once for its
// child of that name, and dropped when it has neither. Nothing inside a markup
// tag is substituted. Repeating a section needs an input that can seek back.
class GeneratorV1 {
 public:
  GeneratorV1(Object& root, std::ostream& out, std::istream& in);
  GeneratorV1(const GeneratorV1&) = delete;
  GeneratorV1& operator=(const GeneratorV1&) = delete;

  // False when a section could not be repeated (logged) or the output failed.
  [[nodiscard]] bool generate();

 private:
  enum class Kind { kSection, kValue, kEnd };
  struct Token {
    Kind kind;
    std::string text;
  };
  using State = void (GeneratorV1::*)(char);

  void generate_body();
  // Reads up to the next complete directive, copying the text before it.
  Token parse();
  void OpenSection(const std::string& name);
  void RenderEach(IteratorBase& elements, const std::string& name);
  Value FindValue(const std::string& name) const;
  void sub_object(const std::string& name);
  void sub_object(Object& object);
  // Renders the section with the output suppressed.
  void ignore_object();
  void put(char c);
  void put(const std::string& text);

  void pinput_initial(char c);
  void pinput_section_open(char c);
  void pinput_section_body(char c);
  void pinput_section_comment1(char c);
  void pinput_section_comment2(char c);
  void pinput_section_obj_begin1(char c);
  void pinput_section_obj_begin2(char c);
  void pinput_section_obj_begin3(char c);
  void pinput_section_obj_begin4(char c);
  void pinput_section_obj_name(char c);
  void pinput_section_obj_name_end1(char c);
  void pinput_section_obj_name_end2(char c);
  void pinput_value_open(char c);
  void pinput_value_body(char c);
  // A directive is complete: the next character starts plain text again.
  void pinput_delayed_initial(char c);
  void poutput_pass(char c);
  void poutput_capture(char c);
  void poutput_ignore(char c);
  // Writes what was held back and copies the rest of a markup tag as it is.
  void PassOn();
  // Expects c, else passes on.
  void Expect(char c, char wanted, State next);
  void next_input(State state);
  void next_output(State state);
  void next_state(State input, State output);
  // Called when a state really changes, not when it is set to itself.
  void on_change_input_state();
  void on_change_output_state();

  std::ostream& out_;
  std::istream& in_;
  // The objects being rendered, the root at the bottom.
  std::vector<Object*> stack_;
  Object* current_;
  // While not 0 nothing is written.
  int ignore_depth_ = 0;
  State input_state_ = &GeneratorV1::pinput_initial;
  State output_state_ = &GeneratorV1::poutput_pass;
  Kind kind_ = Kind::kEnd;
  std::string text_;
  bool complete_ = false;
  // The template text held back while a directive might be starting.
  std::string captured_;
  bool failed_ = false;
};

// Renders in to out with root; see GeneratorV1::generate.
[[nodiscard]] bool generateV1(Object& root, std::ostream& out, std::istream& in);

}  // namespace Stat::Html
