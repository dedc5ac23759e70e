// Cost of the ED-137 radio control on the simulated board: a burst of 1,000
// identical far-end packets (drained and collapsed to one handled state per
// event), and 256 ED-137 controls through one simulated second of keep-alives
// and supervision.
#include "bench/BenchmarkMain.h"
#include "platform/Clock.h"
#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/RtpExtDriver.h"
#include "radio/ED137RadioControl.h"
#include "runtime/loop/Dpc.h"
#include "runtime/loop/Event.h"
#include "runtime/loop/Multiplexer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <vector>

namespace {

using RTPSignalling::ED137RadioGWControl;

struct Counter : RTPSignalling::IRadioControlNotify {
  void RadioControlNotify(const TERM::RtpRadioRequest&) override { ++reports; }
  void RadioControlNotify(int) override { ++aborts; }
  long reports = 0;
  long aborts = 0;
};

// Runs loop passes: the deferred call runs twice per pass, and an always
// readable pipe keeps poll from waiting on the frozen clock.
void RunPasses(int passes) {
  struct Stopper {
    void OnRun() {
      if (++runs >= 2 * passes) {
        multiplexer.terminate();
      }
    }
    void OnReady(int, short) {}
    int passes;
    int runs = 0;
  } stopper{passes};
  static const Fd ready = [] {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0 || write(fds[1], "x", 1) != 1) {
      std::abort();
    }
    return Fd(fds[0]);
  }();
  Event always;
  always.Bind("always", &Stopper::OnReady, &stopper);
  always.Schedule(ready, POLLIN);
  Dpc dpc;
  dpc.Bind(&stopper, &Stopper::OnRun);
  dpc.Activate();
  multiplexer.run(false, true);
}

// A simulated board with one open RTP session for the controls to attach to.
class Board {
 public:
  Board() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    platform::clock_control::Freeze(timeval{1000, 0});
    sim::Board::instance().Reset();
    ext = sim::Board::instance().Find<sim::RtpExtDriver>("/dev/rtp_ext");
    rtp = platform::Open("/dev/rtp", O_RDWR);
    log_ = std::clog.rdbuf(nullptr);
  }
  ~Board() {
    std::clog.rdbuf(log_);
    std::clog.clear();
    platform::Close(rtp);
    platform::clock_control::Release();
  }
  std::unique_ptr<ED137RadioGWControl> NewControl(Counter& counter) {
    RTPSignalling::ED137RadioParams params;
    auto control = std::make_unique<ED137RadioGWControl>(1, rtp_ext_attach_session_params{rtp, -1},
                                                         RTPSignalling::MakeED137InitParams(params, 0));
    control->SetParams(params);
    control->SetNotify(&counter);
    control->SetTimerInterval(params.SupervisionTime() / 2);
    control->SetTimerEnable(true);
    return control;
  }

  sim::RtpExtDriver* ext = nullptr;
  int rtp = -1;

 private:
  std::streambuf* log_;
};

void BM_BurstOf1000IdenticalPackets(benchmark::State& state) {
  Board board;
  Counter counter;
  auto control = board.NewControl(counter);
  if (!control->HasSession()) {
    state.SkipWithError("no extension session");
    return;
  }
  const std::vector<uint8_t> packet{0x20, 0x40};
  constexpr size_t kBurst = 1000;
  // The device holds a few hundred packets at once: the burst arrives in parts.
  constexpr size_t kPart = 200;
  long packets = 0;
  for (auto _ : state) {
    for (size_t sent = 0; sent < kBurst; sent += kPart) {
      state.PauseTiming();
      packets += static_cast<long>(board.ext->Inject(0, {9, inet_addr("10.0.0.9")}, packet, kPart));
      state.ResumeTiming();
      RunPasses(2);
    }
  }
  state.SetItemsProcessed(packets);
  state.counters["per packet"] =
      benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["reports"] = static_cast<double>(counter.reports);
}
BENCHMARK(BM_BurstOf1000IdenticalPackets)->Unit(benchmark::kMicrosecond);

void BM_256ControlsOneSimulatedSecond(benchmark::State& state) {
  Board board;
  Counter counter;
  std::vector<std::unique_ptr<ED137RadioGWControl>> controls;
  for (int i = 0; i < 256; ++i) {
    controls.push_back(board.NewControl(counter));
  }
  for (auto _ : state) {
    platform::clock_control::Advance(1000);
    RunPasses(2);
  }
  state.counters["aborts/s"] =
      benchmark::Counter(static_cast<double>(counter.aborts), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_256ControlsOneSimulatedSecond)->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace

GW_BENCHMARK_MAIN()
