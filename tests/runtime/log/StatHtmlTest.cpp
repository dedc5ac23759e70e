#include "runtime/log/StatHtml.h"

#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ListIterator : public Stat::IteratorBase {
 public:
  explicit ListIterator(const std::vector<Stat::Object*>& elements) : elements_(elements) {}
  bool IsValid() const override { return at_ < elements_.size(); }
  bool Next() override { return ++at_ < elements_.size(); }
  Stat::Object& Get() const override { return *elements_[at_]; }

 private:
  const std::vector<Stat::Object*>& elements_;
  size_t at_ = 0;
};

// A statistics node made of plain maps.
class Node : public Stat::Object {
 public:
  Stat::Value statistics_value(const std::string& name) const override {
    const auto value = values.find(name);
    return value == values.end() ? Stat::Value{} : Stat::Value{true, value->second};
  }
  Stat::Object* statistics_object(const std::string& name) const override {
    const auto child = children.find(name);
    return child == children.end() ? nullptr : child->second;
  }
  std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string& name) const override {
    const auto list = lists.find(name);
    return list == lists.end() ? nullptr : std::make_unique<ListIterator>(list->second);
  }

  std::map<std::string, std::string> values;
  std::map<std::string, Stat::Object*> children;
  std::map<std::string, std::vector<Stat::Object*>> lists;
};

// The gateway as a statistics page shows it: a controller, two trunks, one
// with two channels and one with an alarm. The page covers lists, children,
// lookups outward, markup and comments; the rules table the corners.
struct Gateway {
  Gateway() {
    root.values = {{"host", "gw-7"}, {"uptime", "86400"}};
    controller.values = {{"address", "10.0.0.1:20001"}, {"since", "02:00"}};
    root.children = {{"controller", &controller}, {"link-a", &controller}};
    channels[0].values = {{"channel", "1"}, {"slot", "12"}};
    channels[1].values = {{"channel", "2"}, {"slot", "40"}};
    alarm.values = {{"code", "LOS"}};
    trunks[0].values = {{"number", "1"}, {"state", "up"}};
    trunks[0].lists = {{"channels", {&channels[0], &channels[1]}}, {"alarms", {}}};
    trunks[1].values = {{"number", "2"}, {"state", "down"}};
    trunks[1].lists = {{"channels", {}}, {"alarms", {&alarm}}};
    root.lists = {{"trunks", {&trunks[0], &trunks[1]}}, {"idle", {}}};
  }
  Node root, controller, channels[2], alarm, trunks[2];
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(StatHtml, RendersTheStatisticsPage) {
  Gateway gateway;
  std::ifstream page(STAT_PAGE_DIR "/statistics.html.in");
  std::ostringstream out;
  EXPECT_TRUE(Stat::Html::generateV1(gateway.root, out, page));
  EXPECT_EQ(out.str(), ReadFile(STAT_PAGE_DIR "/statistics.html"));
}

TEST(StatHtml, FollowsTheTemplateRules) {
  const struct {
    const char* name;
    const char* in;
    const char* out;
  } kCases[] = {
      {"an empty list drops its section, nested ones included",
       "[<!--GEN.idle-->%host%<!--GEN.trunks-->t<!--GEN.end--><!--GEN.end-->]", "[]"},
      {"an unknown section is dropped", "a<!--GEN.nothing-->%host%<!--GEN.end-->b", "ab"},
      {"a single dash belongs to the name, text after -- is dropped",
       "<!--GEN.link-a-- any text -->%since%<!--GEN.end-->", "02:00"},
      {"%% stays", "100%% busy", "100%% busy"},
      {"text that starts like an opener is copied", "<!--GEM-->%host%", "<!--GEM-->gw-7"},
      {"a missing end renders to the end of the input", "<!--GEN.trunks-->%number%,", "1,2,"},
      {"input ending inside an opener keeps its text", "x<!--GEN.trun", "x<!--GEN.trun"},
      {"input ending inside a value keeps its text", "load 50%", "load 50%"},
      {"an end without a section does not end the page", "a<!--GEN.end-->b", "ab"},
  };
  Gateway gateway;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    control_test::Logs logs;
    std::istringstream in(c.in);
    std::ostringstream out;
    EXPECT_TRUE(Stat::Html::generateV1(gateway.root, out, in));
    EXPECT_EQ(out.str(), c.out);
  }
}

// A template read from a pipe: the stream cannot go back.
class PipeBuf : public std::streambuf {
 public:
  explicit PipeBuf(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 private:
  std::string text_;
};

TEST(StatHtml, RendersARepeatedSectionOnceWhenTheInputCannotSeek) {
  Gateway gateway;
  control_test::Logs logs;
  PipeBuf pipe("<!--GEN.trunks-->%number%;<!--GEN.end-->after %host%");
  std::istream in(&pipe);
  std::ostringstream out;
  EXPECT_FALSE(Stat::Html::generateV1(gateway.root, out, in));
  EXPECT_EQ(out.str(), "1;after gw-7");
  EXPECT_EQ(logs.Err(), "Stat::Html: the template input cannot seek, section \"trunks\" rendered once.\n");
}

}  // namespace
