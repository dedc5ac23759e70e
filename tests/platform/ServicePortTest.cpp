#include "platform/ServicePort.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace platform {
namespace {

TEST(ServicePort, TakesOnlyAWholeNumberUpTo65535) {
  const struct {
    const char* name;
    const char* value;  // unset when null
    std::optional<uint16_t> port;
  } kCases[] = {
      {"unset", nullptr, 52000},
      {"any free port", "0", 0},
      {"highest", "65535", 65535},
      {"letters", "abc", std::nullopt},
      {"above the range", "70000", std::nullopt},
      {"far above the range", "4294967297", std::nullopt},
      {"negative", "-1", std::nullopt},
      {"a tail", "36347x", std::nullopt},
      {"a plus", "+80", std::nullopt},
      {"a blank", " 80", std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.value == nullptr) {
      unsetenv("GATEWAY_TEST_PORT");
    } else {
      setenv("GATEWAY_TEST_PORT", c.value, 1);
    }
    EXPECT_EQ(ServicePort("GATEWAY_TEST_PORT", 52000), c.port);
  }
  unsetenv("GATEWAY_TEST_PORT");
}

}  // namespace
}  // namespace platform
