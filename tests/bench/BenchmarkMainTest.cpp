#include "bench/BenchmarkMain.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A benchmark that reports an error makes the run exit 1, whatever ran
// beside it; runs without one exit 0.
TEST(BenchmarkMain, ExitsOneWhenARunReportsAnError) {
  benchmark::RegisterBenchmark("Passes", [](benchmark::State& state) {
    for (auto _ : state) {
    }
  })->Iterations(1);
  benchmark::RegisterBenchmark("Fails", [](benchmark::State& state) {
    for (auto _ : state) {
    }
    state.SkipWithError("events lost");
  })->Iterations(1);
  const struct {
    const char* filter;
    int status;
  } kCases[] = {{"Passes", 0}, {"Fails", 1}, {"Passes|Fails", 1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.filter);
    std::string program = "bench";
    std::string filter = std::string("--benchmark_filter=") + c.filter;
    char* argv[] = {program.data(), filter.data(), nullptr};
    EXPECT_EQ(bench::RunBenchmarks(2, argv), c.status);
  }
}

}  // namespace
