#pragma once

#include <string>
#include <vector>

namespace test_support {

// The argv of "korvexd" followed by words; the pointers live as long as words.
inline std::vector<char*> CommandLine(std::vector<std::string>& words) {
  words.insert(words.begin(), "korvexd");
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  return argv;
}

}  // namespace test_support
