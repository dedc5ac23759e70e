// Two terminals and the network side on a BRI bus, each direction's frames
// read by tshark: the TEI management sequence, well-formed frames, and the
// frame logger's call reference and message type against tshark's.
#include "signalling/LAPDNT.h"
#include "signalling/Q931FrameLog.h"

#include "tests/signalling/LapdNtFixture.h"
#include "tests/support/Pcap.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace lapd_test;
using test_support::HdlcEnd;
using test_support::RunTshark;

std::vector<std::vector<std::string>> Rows(const std::string& text, size_t columns) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> row;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) {
      row.push_back(field);
    }
    row.resize(columns);
    rows.push_back(row);
  }
  return rows;
}

// "callref N ... message type NAME" of the logger, as tshark's hex call
// reference and message type; empty when the frame carries no Q.931.
std::pair<std::string, std::string> Logged(const Bytes& frame, int direction) {
  static const std::map<std::string, std::string> kTypes = {
      {"SETUP", "0x05"}, {"ALERTING", "0x01"}, {"CONNECT", "0x07"}, {"INFORMATION", "0x7b"}};
  char text[1024];
  ISDN::dlogframe(frame.data(), static_cast<unsigned>(frame.size()), direction, text, sizeof text);
  const std::string log = text;
  const size_t at = log.find("callref ");
  if (at == std::string::npos) {
    return {};
  }
  unsigned long value = 0;
  char name[64] = {};
  if (std::sscanf(log.c_str() + at, "callref %lu %*s size %*d message type %63[A-Z ]", &value, name) != 2) {
    return {"?", log};
  }
  char hex[8];
  std::snprintf(hex, sizeof hex, "%02lx", value);
  const auto type = kTypes.find(name);
  return {hex, type != kTypes.end() ? type->second : name};
}

TEST(LapdNtCapture, TsharkReadsTheBus) {
  if (!test_support::HaveTshark()) {
    GTEST_SKIP() << "tshark is not installed";
  }
  const TempDir dir("lapd-nt");

  Bus bus;
  bus.nt.link->local_activate();
  bus.a.link->local_activate();
  bus.Step(10);
  bus.b.link->local_activate();
  ASSERT_TRUE(bus.StepUntil([&] { return Bus::Up(bus.a) && Bus::Up(bus.b); }, 10000));
  bus.nt.Send(Q931On(0x01, 0x05, 0));
  bus.Step(10);
  bus.a.Send(Q931On(0x81, 0x01, 0));
  bus.b.Send(Q931On(0x02, 0x05, 0));
  bus.Step(10);
  bus.a.end.line.impairments.drop_every = 5;
  ASSERT_TRUE(bus.Exchange(30, 60000));

  std::vector<HdlcEnd::Frame> from_users = bus.a.end.sent;
  from_users.insert(from_users.end(), bus.b.end.sent.begin(), bus.b.end.sent.end());
  std::stable_sort(from_users.begin(), from_users.end(), [](const auto& x, const auto& y) { return x.ms < y.ms; });
  const struct {
    const char* name;
    const std::vector<HdlcEnd::Frame>* frames;
    uint8_t network;  // the sender's side in the LINUX_LAPD pseudo-header, and the logger's direction
  } kDirections[] = {{"network", &bus.nt.end.sent, 1}, {"users", &from_users, 0}};
  std::map<std::string, std::vector<std::vector<std::string>>> tei_frames;
  for (const auto& d : kDirections) {
    SCOPED_TRACE(d.name);
    const std::string path = dir.path() + "/" + d.name + ".pcap";
    const Bytes pseudo = {0, 4, 0x20, 0xFD, 0, 1, d.network, 0, 0, 0, 0, 0, 0, 0, 0, 0x30};
    ASSERT_TRUE(test_support::WritePcap(path, test_support::kLinkTypeLinuxLapd, pseudo, *d.frames));
    EXPECT_EQ(RunTshark({"-r", path, "-Y", "_ws.malformed || _ws.expert.severity >= 8388608"}), "");
    const auto fields = RunTshark({"-r", path, "-T", "fields", "-e", "tei.msg", "-e", "tei.reference", "-e",
                                   "tei.action", "-e", "q931.call_ref", "-e", "q931.message_type"});
    ASSERT_TRUE(fields.has_value());
    const auto rows = Rows(*fields, 5);
    ASSERT_EQ(rows.size(), d.frames->size());
    EXPECT_GE(std::count_if(rows.begin(), rows.end(), [](const auto& row) { return !row[4].empty(); }), 30);
    for (size_t i = 0; i < rows.size(); ++i) {
      if (!rows[i][0].empty()) {
        tei_frames[d.name].push_back(rows[i]);
      }
      const auto logged = Logged((*d.frames)[i].bytes, d.network);
      EXPECT_EQ(logged.first, rows[i][3]) << "frame " << i;
      EXPECT_EQ(logged.second, rows[i][4]) << "frame " << i;
    }
  }

  // Identity requests for any TEI, then TEIs 64 and 65 assigned to their references.
  const auto& requests = tei_frames["users"];
  ASSERT_EQ(requests.size(), 2u);
  std::vector<std::string> assigned;
  for (const auto& row : tei_frames["network"]) {
    if (row[0] == "2") {
      const int ai = std::stoi(row[2]);
      EXPECT_TRUE(ai >= 64 && ai <= 126) << ai;
      EXPECT_TRUE(row[1] == requests[0][1] || row[1] == requests[1][1]) << row[1];
      assigned.push_back(row[2]);
    }
  }
  for (const auto& request : requests) {
    EXPECT_EQ(request[0], "1");
    EXPECT_EQ(request[2], "127");
  }
  EXPECT_EQ(assigned, (std::vector<std::string>{"64", "65"}));
}

}  // namespace
