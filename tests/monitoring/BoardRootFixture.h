#pragma once

#include "platform/sim/Board.h"
#include "platform/sim/NetInterfacesDriver.h"
#include "tests/support/BoardRoot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

// A fresh board root and simulated board per test.
class BoardRootFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // In memory where there is room: ext4 flushes each file replaced by a
    // rename, which would make the many rewrites of these tests crawl.
    const std::filesystem::path shm = "/dev/shm";
    board_.emplace(std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path());
    // A board has its /var; monitoring makes only its own folders.
    std::filesystem::create_directory(Host("/var"));
    sim::Board::instance().Reset();
  }
  void TearDown() override {
    sim::Board::instance().Reset();
    board_.reset();
  }

  sim::NetInterfacesDriver& Interfaces() {
    return *sim::Board::instance().Find<sim::NetInterfacesDriver>(sim::NetInterfacesDriver::kPath);
  }
  // The host path of a board path.
  std::string Host(const std::string& board_path) const { return board_->Path(board_path); }
  void WriteFile(const std::string& board_path, const std::string& content) const {
    board_->Write(board_path, content);
  }
  // The whole file, or "<missing>".
  std::string ReadFile(const std::string& board_path) const {
    std::ifstream file(Host(board_path));
    if (!file) {
      return "<missing>";
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

  std::optional<TempBoardRoot> board_;
};
