#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A fresh board root for one test, named by GATEWAY_ROOT while the object lives.
class TempBoardRoot {
 public:
  explicit TempBoardRoot(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::string pattern = (base / "gw-root-XXXXXX").string();
    EXPECT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    setenv("GATEWAY_ROOT", root_.c_str(), 1);
  }
  ~TempBoardRoot() {
    unsetenv("GATEWAY_ROOT");
    std::filesystem::remove_all(root_);
  }
  TempBoardRoot(const TempBoardRoot&) = delete;
  TempBoardRoot& operator=(const TempBoardRoot&) = delete;

  // The host path of a board path.
  std::string Path(const std::string& board_path) const { return root_ + board_path; }
  void Write(const std::string& board_path, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(Path(board_path)).parent_path());
    std::ofstream(Path(board_path)) << content;
  }
  // A program of the test build, installed at a board path.
  void Install(const std::string& program, const std::string& board_path) const {
    std::filesystem::create_directories(std::filesystem::path(Path(board_path)).parent_path());
    std::filesystem::copy_file(program, Path(board_path), std::filesystem::copy_options::overwrite_existing);
  }

 private:
  std::string root_;
};
