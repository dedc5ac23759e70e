#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

// A fresh folder of the test's own, named after prefix, removed with what it
// holds.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix) : path_(::testing::TempDir() + prefix + "-XXXXXX") {
    EXPECT_NE(mkdtemp(path_.data()), nullptr);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
