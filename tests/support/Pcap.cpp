#include "tests/support/Pcap.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>

namespace test_support {
namespace {

void PutU32(std::ofstream& out, uint32_t value) {
  // Little-endian throughout, as the magic number below announces.
  const char bytes[] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                        static_cast<char>(value >> 24)};
  out.write(bytes, sizeof bytes);
}

void PutU16(std::ofstream& out, uint16_t value) {
  const char bytes[] = {static_cast<char>(value), static_cast<char>(value >> 8)};
  out.write(bytes, sizeof bytes);
}

std::string Quoted(const std::string& arg) {
  std::string text = "'";
  for (char c : arg) {
    text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return text + "'";
}

}  // namespace

bool WritePcap(const std::string& path, uint32_t link_type, const HdlcEnd::Bytes& pseudo_header,
               const std::vector<HdlcEnd::Frame>& frames) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  // Global header: magic, version 2.4, zone, accuracy, snap length, link type.
  PutU32(out, 0xA1B2C3D4);
  PutU16(out, 2);
  PutU16(out, 4);
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, 65535);
  PutU32(out, link_type);
  for (const HdlcEnd::Frame& frame : frames) {
    const auto size = static_cast<uint32_t>(pseudo_header.size() + frame.bytes.size());
    PutU32(out, frame.ms / 1000);
    PutU32(out, frame.ms % 1000 * 1000);
    PutU32(out, size);
    PutU32(out, size);
    out.write(reinterpret_cast<const char*>(pseudo_header.data()), static_cast<std::streamsize>(pseudo_header.size()));
    out.write(reinterpret_cast<const char*>(frame.bytes.data()), static_cast<std::streamsize>(frame.bytes.size()));
  }
  return static_cast<bool>(out.flush());
}

bool HaveTshark() {
  return std::system("command -v tshark >/dev/null 2>&1") == 0;
}

std::optional<std::string> RunTshark(const std::vector<std::string>& args) {
  if (!HaveTshark()) {
    return std::nullopt;
  }
  std::string command = "timeout 120 tshark";
  for (const std::string& arg : args) {
    command += " " + Quoted(arg);
  }
  command += " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return std::nullopt;
  }
  std::string output;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, n);
  }
  const int status = pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return std::nullopt;
  }
  return output;
}

}  // namespace test_support
