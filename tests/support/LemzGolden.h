#pragma once

// The LEMZ golden rows of tests/radio/data/lemz-golden.txt and the text form of a radio state they use.

#include "tests/support/BerVectors.h"

#include "radio/LemzRadioState.h"

#include <arpa/inet.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace test {

// The status of the create command behind the golden requests: it sets every field of the radio state.
constexpr const char* kLemzCreateStatus =
    "{ flags { prio 15, ptt FALSE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, rv FALSE, "
    "resv FALSE, selcall 0, li 0 }, freq { channel 4, frequency \"118.000000\" }, remote { no 1, ch 2 }, "
    "squelshe on, rte a1b, standby-state-channel active, standby-group 0, standby-state-receiver standby }";

struct LemzGoldenRow {
  std::string name;
  std::vector<uint8_t> wire;
  std::string record;
  std::string state;
  std::string request;
  std::vector<uint8_t> per;
};

inline std::vector<LemzGoldenRow> ReadLemzGolden(const char* path) {
  std::ifstream file(path);
  std::vector<LemzGoldenRow> rows;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::vector<std::string> columns;
    std::istringstream in(line);
    for (std::string column; std::getline(in, column, '|');) {
      columns.push_back(Trimmed(column));
    }
    columns.resize(6);
    rows.push_back({columns[0], FromHex(columns[1]), columns[2], columns[3], columns[4], FromHex(columns[5])});
  }
  return rows;
}

// "name=value" for each field that differs from a fresh state, in field order.
inline std::string StateText(const RTPSignalling::LemzRadioState& state) {
  const auto fields = [](const RTPSignalling::LemzRadioState& s) {
    const auto address = [](in_addr a) { return std::string(inet_ntoa(a)); };
    const auto number = [](auto v) {
      std::ostringstream out;
      out << v;
      return out.str();
    };
    return std::vector<std::pair<const char*, std::string>>{
        {"command", number(s.command)},
        {"priority", number(s.priority)},
        {"ptt", number(s.ptt)},
        {"session_addr", address(s.session_addr)},
        {"session_ssrc", number(s.session_ssrc)},
        {"caller_id", s.caller_id},
        {"bss", number(s.bss)},
        {"vad_rx", number(s.vad_rx)},
        {"vad_tx", number(s.vad_tx)},
        {"sql", number(s.sql)},
        {"sh", number(s.sh)},
        {"pwr", number(s.pwr)},
        {"rv", number(s.rv)},
        {"resv", number(s.resv)},
        {"selcall", number(s.selcall)},
        {"li", number(s.li)},
        {"remote_no", number(s.remote_no)},
        {"remote_ch", number(s.remote_ch)},
        {"channel", number(s.channel)},
        {"frequency", number(s.frequency)},
        {"squelshe", number(s.squelshe)},
        {"rte", number(s.rte)},
        {"standby_state_channel", number(s.standby_state_channel)},
        {"standby_group", number(s.standby_group)},
        {"standby_state_receiver", number(s.standby_state_receiver)},
        {"radio_quality", number(s.radio_quality)},
        {"source_addr", address(s.source_addr)},
        {"source_ssrc", number(s.source_ssrc)},
    };
  };
  const auto fresh = fields(RTPSignalling::LemzRadioState{});
  const auto current = fields(state);
  std::string text;
  for (size_t i = 0; i < current.size(); ++i) {
    if (current[i].second != fresh[i].second) {
      text += (text.empty() ? "" : " ") + std::string(current[i].first) + "=" + current[i].second;
    }
  }
  return text;
}

}  // namespace test
