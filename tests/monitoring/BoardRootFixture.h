#pragma once

#include "platform/sim/Board.h"
#include "platform/sim/NetInterfacesDriver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A fresh board root and simulated board per test.
class BoardRootFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // In memory where there is room: ext4 flushes each file replaced by a
    // rename, which would make the many rewrites of these tests crawl.
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path base =
        std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
    std::string pattern = (base / "gw-monitoring-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    // A board has its /var; monitoring makes only its own folders.
    std::filesystem::create_directory(root_ / "var");
    setenv("GATEWAY_ROOT", root_.c_str(), 1);
    sim::Board::instance().Reset();
  }
  void TearDown() override {
    sim::Board::instance().Reset();
    unsetenv("GATEWAY_ROOT");
    std::filesystem::remove_all(root_);
  }

  sim::NetInterfacesDriver& Interfaces() {
    return *sim::Board::instance().Find<sim::NetInterfacesDriver>(sim::NetInterfacesDriver::kPath);
  }
  // The host path of a board path.
  std::string Host(const std::string& board_path) const { return root_.string() + board_path; }
  void WriteFile(const std::string& board_path, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(Host(board_path)).parent_path());
    std::ofstream(Host(board_path)) << content;
  }
  // The whole file, or "<missing>".
  std::string ReadFile(const std::string& board_path) const {
    std::ifstream file(Host(board_path));
    if (!file) {
      return "<missing>";
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

  std::filesystem::path root_;
};
