#include "monitoring/trap/SnmpTrap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// sysUpTime.0
const uint32_t kName[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const Bytes kNameBer = {0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00};

Bytes Message(const TrapContext& context) {
  return Bytes(context.buffer, context.buffer + context.length);
}

// A trap of community "public" with one binding of sysUpTime.0; nothing when a step fails.
std::optional<Bytes> OneBinding(uint8_t type, const void* value, size_t length) {
  TrapContext context;
  snmp_session_seed(&context, 0);
  trap_init(&context, "public");
  if (trap_pack_begin(&context) != 0 || trap_pack_add(&context, kName, 9, type, value, length) != 0 ||
      trap_pack_end(&context) != 0) {
    return std::nullopt;
  }
  return Message(context);
}

TEST(SnmpTrap, BuildsTheMessageOfRfc3416) {
  const uint32_t ticks = 42;
  // clang-format off
  const Bytes expected = {
      0x30, 0x82, 0x00, 0x2F,                     // Message
      0x02, 0x01, 0x01,                           //   version 1 (SNMPv2c)
      0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c',   //   community
      0xA7, 0x82, 0x00, 0x20,                     //   SNMPv2-Trap-PDU
      0x02, 0x03, 0x0F, 0x22, 0x81,               //     request-id 991873
      0x02, 0x01, 0x00, 0x02, 0x01, 0x00,         //     error-status, error-index
      0x30, 0x82, 0x00, 0x11,                     //     variable-bindings
      0x30, 0x82, 0x00, 0x0D,                     //       binding
      0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00,
      0x43, 0x01, 0x2A};                          //       TimeTicks 42
  // clang-format on
  EXPECT_EQ(OneBinding(0x43, &ticks, sizeof ticks), expected);
}

TEST(SnmpTrap, WritesEachValueTypeOfTheList) {
  const int32_t minus_one = -1;
  const uint32_t all_ones = 0xFFFFFFFF;
  const uint32_t five = 5;
  const uint32_t arcs[] = {1, 3, 6, 1, 4, 1, 0xFFFFFFFF};
  const uint8_t address[] = {10, 0, 0, 1};
  const uint8_t bits[] = {0x00, 0xA0};
  const struct {
    const char* name;
    uint8_t type;
    const void* value;
    size_t length;
    std::optional<Bytes> encoded;
  } kCases[] = {
      {"INTEGER widened with its sign", 0x02, &minus_one, 4, Bytes{0x02, 0x01, 0xFF}},
      {"INTEGER of 2 bytes", 0x02, &minus_one, 2, std::nullopt},
      {"INTEGER of 8 bytes", 0x02, arcs, 8, std::nullopt},
      {"BIT STRING", 0x03, bits, 2, Bytes{0x03, 0x02, 0x00, 0xA0}},
      {"OCTET STRING", 0x04, "ab", 2, Bytes{0x04, 0x02, 'a', 'b'}},
      {"NULL", 0x05, nullptr, 0, Bytes{0x05, 0x00}},
      {"OBJECT IDENTIFIER widened", 0x06, arcs, sizeof arcs,
       Bytes{0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
      {"OBJECT IDENTIFIER of 6 bytes", 0x06, arcs, 6, std::nullopt},
      {"IpAddress", 0x40, address, 4, Bytes{0x40, 0x04, 10, 0, 0, 1}},
      {"IpAddress of 3 bytes", 0x40, address, 3, std::nullopt},
      {"IpAddress of 5 bytes", 0x40, "\x0A\x00\x00\x01\x02", 5, std::nullopt},
      {"IpAddress that is empty", 0x40, nullptr, 0, std::nullopt},
      {"Counter32 at its top", 0x41, &all_ones, 4, Bytes{0x41, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"Gauge32", 0x42, &five, 4, Bytes{0x42, 0x01, 0x05}},
      {"Counter32 of 8 bytes", 0x41, arcs, 8, std::nullopt},
      {"Opaque", 0x44, "ab", 2, Bytes{0x44, 0x02, 'a', 'b'}},
      {"NsapAddress", 0x45, "ab", 2, Bytes{0x45, 0x02, 'a', 'b'}},
      {"UInteger32", 0x47, &five, 4, Bytes{0x47, 0x01, 0x05}},
      {"Counter64 is not in the list", 0x46, arcs, 8, std::nullopt},
      {"an unknown type", 0x07, "ab", 2, std::nullopt},
      {"a value that is missing", 0x04, nullptr, 2, std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::optional<Bytes> message = OneBinding(c.type, c.value, c.length);
    ASSERT_EQ(message.has_value(), c.encoded.has_value());
    if (!message) {
      continue;
    }
    Bytes tail = kNameBer;
    tail.insert(tail.end(), c.encoded->begin(), c.encoded->end());
    ASSERT_GE(message->size(), tail.size());
    EXPECT_EQ(Bytes(message->end() - static_cast<long>(tail.size()), message->end()), tail);
  }
}

TEST(SnmpTrap, KeepsItsStepsInOrder) {
  const auto add = [](TrapContext* context) {
    static const uint32_t ticks = 1;
    return trap_pack_add(context, kName, 9, 0x43, &ticks, 4);
  };
  const auto begin = [](TrapContext* context) { return trap_pack_begin(context); };
  const auto end = [](TrapContext* context) { return trap_pack_end(context); };
  const auto bad_add = [](TrapContext* context) {
    const uint16_t value = 1;
    return trap_pack_add(context, kName, 9, 0x02, &value, sizeof value);
  };
  using Step = int (*)(TrapContext*);
  const struct {
    const char* name;
    std::vector<Step> steps;
    std::vector<int> results;
  } kCases[] = {
      {"begin twice", {begin, begin}, {0, -1}},
      {"add before begin", {add}, {-1}},
      {"end before begin", {end}, {-1}},
      {"add after end", {begin, add, end, add}, {0, 0, 0, -1}},
      {"end twice", {begin, end, end}, {0, 0, -1}},
      {"a bad add spoils the trap", {begin, bad_add, add, end}, {0, -1, -1, -1}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TrapContext context;
    trap_init(&context, nullptr);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      EXPECT_EQ(c.steps[i](&context), c.results[i]) << "step " << i;
    }
  }
  EXPECT_EQ(trap_init(nullptr, nullptr), 0);
  EXPECT_EQ(snmp_session_seed(nullptr, 1), 0);
  EXPECT_EQ(begin(nullptr), -1);
  EXPECT_EQ(add(nullptr), -1);
  EXPECT_EQ(end(nullptr), -1);
}

TEST(SnmpTrap, EndsRightAfterBeginWithEmptyBindings) {
  TrapContext context;
  snmp_session_seed(&context, 0);
  trap_init(&context, nullptr);
  ASSERT_EQ(trap_pack_begin(&context), 0);
  ASSERT_EQ(trap_pack_end(&context), 0);
  // clang-format off
  const Bytes expected = {0x30, 0x82, 0x00, 0x1E, 0x02, 0x01, 0x01, 0x04, 0x06, 't', 'a', 'v', 'r', 'i', 'k',
                          0xA7, 0x82, 0x00, 0x0F, 0x02, 0x03, 0x0F, 0x22, 0x81, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00,
                          0x30, 0x82, 0x00, 0x00};
  // clang-format on
  EXPECT_EQ(Message(context), expected);
  EXPECT_EQ(context.state, 3);
}

TEST(SnmpTrap, FailsABindingThatDoesNotFit) {
  TrapContext context;
  trap_init(&context, nullptr);
  ASSERT_EQ(trap_pack_begin(&context), 0);
  const std::string chunk(500, 'x');
  int added = 0;
  while (trap_pack_add(&context, kName, 9, 0x04, chunk.data(), chunk.size()) == 0) {
    ++added;
  }
  EXPECT_EQ(added, 3);
  EXPECT_EQ(trap_pack_end(&context), -1);
  trap_init(&context, nullptr);
  EXPECT_EQ(trap_pack_begin(&context), 0);
}

TEST(SnmpTrap, AdvancesAnOddPositiveRequestId) {
  TrapContext context;
  snmp_session_seed(&context, 0);
  const int32_t kIds[] = {991873, 1288378715, 595532581};
  for (int32_t id : kIds) {
    trap_init(&context, nullptr);
    EXPECT_EQ(context.request_id, id);
  }
  snmp_session_seed(&context, 0xFFFFFFFF);
  trap_init(&context, nullptr);
  EXPECT_EQ(context.request_id, 141865);
}

TEST(SnmpTrap, TakesTheCommunityOrTheDefault) {
  const struct {
    const char* given;
    std::string kept;
  } kCases[] = {{nullptr, "tavrik"},
                {"", ""},
                {"0123456789012345678901234567890123456789", std::string("0123456789012345678901234567890")}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.kept);
    TrapContext context;
    trap_init(&context, c.given);
    EXPECT_EQ(std::string(context.community), c.kept);
  }
}

TEST(SnmpTrap, ParsesOidTexts) {
  const std::string longest = "1" + std::string(63, '.') + std::string(63, '2');
  ASSERT_EQ(longest.size(), 127u);
  const struct {
    const char* name;
    std::string text;
    int capacity;
    std::vector<uint32_t> arcs;
  } kCases[] = {
      {"cut at the capacity", "1.3.6.1.2", 3, {1, 3, 6}},
      {"empty pieces skipped", "1..3", 8, {1, 3}},
      {"leading dot", ".1.3.", 8, {1, 3}},
      {"blanks and a sign", " 7.+8", 8, {7, 8}},
      {"no digits", "1.x.2", 8, {1, 0, 2}},
      {"saturated", "4294967295.4294967296.99999999999999999999999", 8, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}},
      {"127 characters", longest, 8, {1, 0xFFFFFFFF}},
      {"128 characters", longest + "2", 8, {}},
      {"no capacity", "1.3", 0, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    uint32_t arcs[8] = {};
    const int count = parse_oid(arcs, c.capacity, c.text.c_str());
    EXPECT_EQ(std::vector<uint32_t>(arcs, arcs + count), c.arcs);
  }
  uint32_t arcs[1];
  EXPECT_EQ(parse_oid(nullptr, 1, "1"), 0);
  EXPECT_EQ(parse_oid(arcs, 1, nullptr), 0);
}

// The kernel's own uptime, in hundredths, read around get_uptime.
uint64_t ProcUptime() {
  std::ifstream file("/proc/uptime");
  uint64_t seconds = 0;
  uint64_t hundredths = 0;
  char dot;
  file >> seconds >> dot >> hundredths;
  return seconds * 100 + hundredths;
}

TEST(SnmpTrap, UptimeFollowsTheBootClock) {
  const uint64_t before = ProcUptime();
  const uint32_t uptime = get_uptime();
  const uint32_t again = get_uptime();
  const uint64_t after = ProcUptime();
  EXPECT_GE(uptime, static_cast<uint32_t>(before));
  EXPECT_LE(uptime, static_cast<uint32_t>(after));
  EXPECT_GE(again, uptime);
}

}  // namespace
