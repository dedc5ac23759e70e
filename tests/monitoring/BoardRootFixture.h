#pragma once

#include "platform/sim/Board.h"
#include "platform/sim/NetInterfacesDriver.h"
#include "tests/support/BoardRoot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// A fresh board root and simulated board per test. The root is in memory where
// there is room: ext4 flushes each file replaced by a rename, which would make
// the many rewrites of these tests crawl.
class BoardRootFixture : public ::testing::Test {
 protected:
  BoardRootFixture()
      : root_(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path()) {}
  void SetUp() override {
    // A board has its /var; monitoring makes only its own folders.
    std::filesystem::create_directory(Host("/var"));
    sim::Board::instance().Reset();
  }
  void TearDown() override { sim::Board::instance().Reset(); }

  sim::NetInterfacesDriver& Interfaces() {
    return *sim::Board::instance().Find<sim::NetInterfacesDriver>(sim::NetInterfacesDriver::kPath);
  }
  std::string Host(const std::string& board_path) const { return root_.Path(board_path); }
  void WriteFile(const std::string& board_path, const std::string& content) const { root_.Write(board_path, content); }
  std::string ReadFile(const std::string& board_path) const { return root_.Read(board_path); }

  TempBoardRoot root_;
};
