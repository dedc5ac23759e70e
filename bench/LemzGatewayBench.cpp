// 256 LEMZ gateway controls on the simulated /dev/rtp_ext, announcing for 60 s of simulated time: the frozen clock
// steps one second at a time and the loop runs the status timers. Reports the time per simulated second and the
// announcements sent per simulated second.
#include "bench/BenchmarkMain.h"
#include "bench/QuietLogs.h"
#include "platform/Clock.h"
#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/RtpExtDriver.h"
#include "radio/LemzRadioControl.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/LemzGolden.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using namespace RTPSignalling;

constexpr int kControls = 256;
constexpr int kSeconds = 60;

void BM_LemzGatewayAnnouncements(benchmark::State& state) {
  sim::Board::instance().Reset();
  auto* ext = sim::Board::instance().Find<sim::RtpExtDriver>("/dev/rtp_ext");
  control_test::FrozenClock clock;
  const int rtp = platform::Open("/dev/rtp", O_RDWR);
  TERM::RadioStatus status;
  if (rtp < 0 || !status.setFromValueNotation(std::string("lemz : ") + test::kLemzCreateStatus)) {
    std::abort();
  }
  std::vector<std::unique_ptr<LemzRadioGWControl>> controls;
  for (int i = 0; i < kControls; ++i) {
    controls.push_back(std::make_unique<LemzRadioGWControl>(i, rtp_ext_attach_session_params{rtp, getpid()},
                                                            rtp_ext_init_params{kLemzExtensionType, {}}));
    static_cast<void>(controls.back()->SendASNToChan(status));
    controls.back()->SetTimerEnable(true);
  }
  // Each run of passes ends with the loop's "Mux: terminating..." line.
  bench::QuietLogs logs;
  for (auto _ : state) {
    for (int second = 0; second < kSeconds; ++second) {
      clock.Advance(1000);
      control_test::RunPasses(2);
    }
  }
  const auto packets = static_cast<double>(ext->WrittenCount());
  const double seconds = static_cast<double>(state.iterations()) * kSeconds;
  state.counters["sim_s"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["packets_per_sim_s"] = packets / seconds;
  controls.clear();
  platform::Close(rtp);
}
BENCHMARK(BM_LemzGatewayAnnouncements)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

GW_BENCHMARK_MAIN()
