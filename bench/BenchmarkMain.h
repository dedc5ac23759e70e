#pragma once

#include <benchmark/benchmark.h>

#include <vector>

namespace bench {

// Shows the runs as the library's own display would (--benchmark_format and
// the colour flags included) and notes whether any of them ended in an error.
class ErrorNotingReporter : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context& context) override { return shown_.ReportContext(context); }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      failed_ = failed_ || run.error_occurred;
    }
    shown_.ReportRuns(runs);
  }
  void Finalize() override { shown_.Finalize(); }

  bool failed() const { return failed_; }

 private:
  // The library keeps it and hands the same one out on every call: not ours to delete.
  benchmark::BenchmarkReporter& shown_ = *benchmark::CreateDefaultDisplayReporter();
  bool failed_ = false;
};

// What BENCHMARK_MAIN does, except that a run that reports an error (a lost
// event, a failed command) makes the exit status 1: a script or CI job that
// runs the benchmarks sees it without reading the table.
inline int RunBenchmarks(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  ErrorNotingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.failed() ? 1 : 0;
}

}  // namespace bench

// In place of BENCHMARK_MAIN().
#define GW_BENCHMARK_MAIN()                  \
  int main(int argc, char** argv) {          \
    return bench::RunBenchmarks(argc, argv); \
  }
