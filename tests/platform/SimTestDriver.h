#pragma once

#include "platform/sim/Board.h"
#include "platform/sim/Driver.h"
#include "tests/support/BoardRoot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sim {

// A small device for the board's own tests: a read-write request that doubles
// the word at offset 4 into offset 0, a value request answering a channel
// number, writes kept per open, and a control command that queues a record.
class SimTestDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/sim-test";
  static constexpr unsigned long kDouble = 0xc0084d05;
  static constexpr unsigned long kChannel = 0x20004d02;

  struct PerOpen : OpenFile::State {
    int requests = 0;
  };

  SimTestDriver() : Driver(kPath) {
    HandleRecord(kDouble, 8, [](OpenFile& file, Record& record) -> long {
      ++file.StateAs<PerOpen>().requests;
      record.SetU32(0, record.U32(4) * 2);
      return 0;
    });
    HandleValue(kChannel, [](OpenFile& file, unsigned long value) -> long {
      return 40 + static_cast<long>(value) + file.StateAs<PerOpen>().requests;
    });
    AddCommand("queue", [this](const std::vector<std::string>& args) -> Reply {
      if (args.size() != 1) {
        return Reply{false, "usage: queue <text>"};
      }
      for (OpenFile* file : Opens()) {
        Deliver(*file, std::vector<uint8_t>(args[0].begin(), args[0].end()));
      }
      return Reply{true, ""};
    });
  }

  void QueueToAll(const std::vector<uint8_t>& record) {
    auto lock = Board::Lock();
    for (OpenFile* file : Opens()) {
      ASSERT_TRUE(Deliver(*file, record));
    }
  }

  void QueueErrorToAll(int error) {
    auto lock = Board::Lock();
    for (OpenFile* file : Opens()) {
      ASSERT_TRUE(DeliverError(*file, error));
    }
  }

  std::vector<std::vector<uint8_t>> written;
  int released = 0;
  // Runs as each write is taken.
  std::function<void()> on_write;

 private:
  long OnOpen(OpenFile& file) override {
    file.state = std::make_unique<PerOpen>();
    return 0;
  }
  void OnRelease(OpenFile&) override { ++released; }
  long OnWrite(OpenFile&, const std::vector<uint8_t>& record) override {
    if (record.empty()) {
      return -EINVAL;
    }
    written.push_back(record);
    if (on_write) {
      on_write();
    }
    return 0;
  }
};

// A fresh board root and a fresh board with the test device on it.
class SimBoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Board::instance().Reset();
    driver_ = static_cast<SimTestDriver*>(&Board::instance().Install(std::make_unique<SimTestDriver>()));
  }
  void TearDown() override { Board::instance().Reset(); }

  TempBoardRoot root_;
  SimTestDriver* driver_ = nullptr;
};

}  // namespace sim
