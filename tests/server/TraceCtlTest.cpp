#include "server/TraceCtl.h"

#include "runtime/log/TraceFlags.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>

namespace {

using Flags = std::array<bool, 5>;

Flags Current() {
  return {traces.signalling.hdlc, traces.signalling.lemzgw, traces.signalling.events, traces.signalling.isdn,
          traces.monitoring.internal};
}

TEST(TraceCtl, SetsTheFlagsTheLastSectionGives) {
  const struct {
    const char* name;
    const char* text;
    Flags flags;
  } kCases[] = {
      {"an empty section", "[traces]\n", {false, false, false, false, false}},
      {"isdn alone", "[traces]\nsignalling.isdn = true\n", {false, false, false, true, false}},
      {"every flag",
       "[traces]\nsignalling.hdlc = true\nsignalling.lemzgw = true\nsignalling.events = true\n"
       "signalling.isdn = true\nmonitoring.internal = true\n",
       {true, true, true, true, true}},
      {"the last section counts",
       "[traces]\nsignalling.hdlc = true\n[traces]\nmonitoring.internal = true\n",
       {false, false, false, false, true}},
      {"a value that is no switch",
       "[traces]\nsignalling.hdlc = maybe\nsignalling.events = true\n",
       {false, false, true, false, false}},
      {"a key given twice",
       "[traces]\nsignalling.lemzgw = true\nsignalling.lemzgw = true\n",
       {false, false, false, false, false}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // Flags left from before must be cleared by the section itself.
    traces = TraceFlags{{true, true, true, true}, {true}};
    std::istringstream in(c.text);
    IniFile::File file;
    in >> file;
    TraceCtl::Configure(file["traces"]);
    EXPECT_EQ(Current(), c.flags);
  }
}

}  // namespace
