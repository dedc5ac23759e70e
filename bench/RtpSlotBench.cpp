// RTP slots over the controller link, in-process on the simulated board:
// create and destroy cycles (time per cycle; the descriptors and simulated
// sessions must be back to where they started), and 1,000 packet-detector
// events turned into rtp signals (time per event). The simulated device
// queues at most 512 records (the kernel's datagram queue), so the events
// come in four bursts of 250, each drained by one readable event.
#include "bench/BenchmarkMain.h"
#include "hardware/HwMux.h"
#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "platform/sim/RtpDriver.h"
#include "rtp/RtpFactory.h"
#include "slots/Slots.h"
#include "tests/server/ControllerLink.h"

#include <benchmark/benchmark.h>

#include <dirent.h>

#include <iostream>
#include <memory>
#include <sstream>

namespace {

constexpr unsigned kSlot = 1;
constexpr int kBursts = 4;
constexpr int kBurst = 250;
constexpr uint16_t kFarEndPort = 41000;
constexpr uint16_t kLocalPort = 41010;

size_t OpenDescriptors() {
  size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) {
      ++count;
    }
    closedir(dir);
  }
  return count;
}

// A controller connected to the slot table, the logs quiet, the RTP factory built.
class Bench {
 public:
  Bench() : saved_log_(std::clog.rdbuf(sink_.rdbuf())), saved_err_(std::cerr.rdbuf(sink_.rdbuf())) {
    platform::clock_control::SkipSleeps(true);
    (void)HwMux::instance();
    (void)RtpFactory::instance();
    link_.server.Bind(&Slots::instance());
    link_.Connect();
    rtp_ = sim::Board::instance().Find<sim::RtpDriver>(sim::RtpDriver::kPath);
  }
  ~Bench() {
    std::clog.rdbuf(saved_log_);
    std::cerr.rdbuf(saved_err_);
  }

  // The number of messages that came back.
  size_t Send(const std::function<void(LGCP::Command&)>& fill) {
    LGCP::Message message = ctrlsrv_test::Command(ctrlsrv_test::kQuery, std::nullopt, kSlot);
    fill(message.get_pdu().get_command());
    link_.Send(message);
    sink_.str("");
    return link_.ReceivedPayloads().size();
  }
  size_t Create() {
    return Send([](LGCP::Command& command) {
      LGCP::CreateRtpParams& create = command.select_create().select_rtp();
      TERM::RtpParams& rtp = create.get_codecRTP();
      rtp.set_payload(TERM::Payload::ptG711_Alaw);
      rtp.get_dhost().set_iaddr("127.0.0.1");
      rtp.get_dhost().get_port().setValue(kFarEndPort);
      rtp.include_shost().set_iaddr("127.0.0.1");
      rtp.get_shost().get_port().setValue(kLocalPort);
      create.set_txPayload(TERM::Payload::ptG711_Alaw);
      create.set_rxPayload(TERM::Payload::ptG711_Alaw);
    });
  }
  size_t Destroy() {
    return Send([](LGCP::Command& command) { command.select_destroy(); });
  }
  size_t Received() {
    sink_.str("");
    return link_.ReceivedPayloads().size();
  }
  sim::RtpDriver& rtp() { return *rtp_; }

 private:
  std::ostringstream sink_;
  std::streambuf* saved_log_;
  std::streambuf* saved_err_;
  ctrlsrv_test::ControllerLink link_;
  sim::RtpDriver* rtp_;
};

void BM_RtpCreateDestroyCycle(benchmark::State& state) {
  Bench bench;
  // The first slot opens the receiver devices, which stay open.
  if (bench.Create() != 3 || bench.Destroy() != 1) {
    state.SkipWithError("create or destroy not answered");
    return;
  }
  // Counting sessions releases the board's ends of closed opens first.
  const size_t sessions = bench.rtp().Sessions().size();
  const size_t descriptors = OpenDescriptors();
  for (auto _ : state) {
    if (bench.Create() != 3 || bench.Destroy() != 1) {
      state.SkipWithError("create or destroy not answered");
      break;
    }
  }
  state.counters["per_cycle"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  if (bench.rtp().Sessions().size() != sessions || OpenDescriptors() != descriptors) {
    state.SkipWithError("descriptors or sessions left behind");
  }
}
BENCHMARK(BM_RtpCreateDestroyCycle)->Iterations(10000)->Unit(benchmark::kMicrosecond);

void BM_RtpDetectorEventBurst(benchmark::State& state) {
  Bench bench;
  if (bench.Create() != 3) {
    state.SkipWithError("create not answered");
    return;
  }
  const int32_t channel = bench.rtp().Sessions().back().channel;
  for (auto _ : state) {
    for (int burst = 0; burst < kBursts; ++burst) {
      state.PauseTiming();
      for (int i = 0; i < kBurst; ++i) {
        if (!bench.rtp().InjectEvent(channel, 1, static_cast<uint32_t>(i & 1), 300)) {
          state.SkipWithError("the driver's queue is full");
          return;
        }
      }
      state.ResumeTiming();
      if (bench.Received() != kBurst) {
        state.SkipWithError("events lost");
        return;
      }
    }
  }
  state.counters["per_event"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBursts * kBurst,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  (void)bench.Destroy();
}
BENCHMARK(BM_RtpDetectorEventBurst)->Unit(benchmark::kMicrosecond);

}  // namespace

GW_BENCHMARK_MAIN()
