#pragma once

// BER vectors kept as test data: lines of "name | type | our bytes | X.690 bytes | ... | value notation", the
// columns after the bytes optional; '#' starts a comment. The tool tests check the same files with asn1c.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace test {

struct BerVector {
  std::string name;
  std::string type;
  std::vector<uint8_t> ours;
  std::vector<uint8_t> x690;  // the X.690 form an independent coder writes, where it differs from ours
  std::string notation;       // the value, where the file gives it
};

inline std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

inline std::vector<uint8_t> FromHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream in(text);
  for (unsigned octet = 0; in >> std::hex >> octet;) {
    bytes.push_back(static_cast<uint8_t>(octet));
  }
  return bytes;
}

inline std::vector<BerVector> ReadBerVectors(const char* path) {
  std::ifstream file(path);
  std::vector<BerVector> vectors;
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
    vectors.push_back({columns[0], columns[1], FromHex(columns[2]), FromHex(columns[3]), columns[5]});
  }
  return vectors;
}

}  // namespace test
