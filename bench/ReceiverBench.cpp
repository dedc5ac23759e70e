// A burst of 10,000 queued detector events handled in one readable event of
// the DTMF/tone and the DSP event device, reported as time per event.
#include "bench/BenchmarkMain.h"
#include "bench/QuietLogs.h"
#include "hardware/DSProcReceiver.h"
#include "hardware/DSProcReceiverService.h"
#include "hardware/TonecReceiver.h"
#include "hardware/TonecReceiverService.h"
#include "platform/ByteOrder.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

using bench::QuietLogs;

constexpr int kBurst = 10000;
constexpr unsigned kTimeslots = 8;
// Room for a whole burst of the larger record.
constexpr int kPipeBytes = 1 << 18;

struct DigitCounter : Hardware::TonecReceiver {
  explicit DigitCounter(unsigned timeslot) : timeslot(timeslot) {}
  void tonec_event(const Params&) override { ++events; }
  unsigned tonec_timeslot() const override { return timeslot; }
  unsigned timeslot;
  long events = 0;
};

struct ToneCounter : Hardware::DSProcReceiver {
  explicit ToneCounter(unsigned timeslot) : timeslot(timeslot) {}
  void dsproc_vad_event(const Hardware::DSProcVADEvent&) override {}
  void dsproc_bss_event(const ::dsproc_bss_event*) override {}
  void dsproc_sd_event(const Hardware::DSProcSDEvent&) override {}
  void dsproc_tone_flt_event(const ::dsproc_tone_event*) override { ++events; }
  void dsproc_flags_event(const ::dsproc_flags_event*) override {}
  unsigned dsproc_timeslot() const override { return timeslot; }
  unsigned timeslot;
  long events = 0;
};

// A pipe big enough for a burst: the service reads it as it reads the device.
struct Burst {
  Burst() {
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0 || fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes) < kPipeBytes) {
      std::abort();
    }
  }
  ~Burst() {
    close(fds[0]);
    close(fds[1]);
  }
  void Queue(const std::vector<uint8_t>& bytes) {
    if (write(fds[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      std::abort();
    }
  }
  int fds[2];
};

// Times the service's handling of the queued burst; fails when the first
// receiver (counting its events in first_events) missed any.
template <typename Service>
void TimeBursts(benchmark::State& state, QuietLogs& logs, const std::vector<uint8_t>& bytes, Service& service,
                const long& first_events) {
  Burst burst;
  for (auto _ : state) {
    state.PauseTiming();
    burst.Queue(bytes);
    logs.Drain();
    state.ResumeTiming();
    service.OnEvent(burst.fds[0], POLLIN);
  }
  state.counters["per_event"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBurst,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  if (first_events != static_cast<long>(state.iterations()) * kBurst / kTimeslots) {
    state.SkipWithError("events lost");
  }
}

void BM_DtmfEventBurst(benchmark::State& state) {
  QuietLogs logs;
  std::vector<std::unique_ptr<DigitCounter>> receivers;
  for (unsigned ts = 0; ts < kTimeslots; ++ts) {
    receivers.push_back(std::make_unique<DigitCounter>(100 + ts));
    (void)receivers.back()->enableDTMF(true);
  }
  std::vector<uint8_t> bytes(kBurst * Hardware::TonecReceiverService::kEventSize);
  platform::BeWriter writer(bytes.data(), bytes.size());
  for (int i = 0; i < kBurst; ++i) {
    const DigitCounter& receiver = *receivers[static_cast<size_t>(i) % kTimeslots];
    writer.U32(static_cast<uint32_t>(i % 10)).U32(receiver.timeslot).U32(static_cast<uint32_t>(i)).U32(receiver.id());
  }
  TimeBursts(state, logs, bytes, Hardware::TonecReceiverService::instance(), receivers[0]->events);
}
BENCHMARK(BM_DtmfEventBurst)->Unit(benchmark::kMicrosecond);

void BM_DspEventBurst(benchmark::State& state) {
  QuietLogs logs;
  std::vector<std::unique_ptr<ToneCounter>> receivers;
  for (unsigned ts = 0; ts < kTimeslots; ++ts) {
    receivers.push_back(std::make_unique<ToneCounter>(200 + ts));
  }
  std::vector<uint8_t> bytes(kBurst * Hardware::DSProcReceiverService::kEventSize);
  platform::BeWriter writer(bytes.data(), bytes.size());
  for (int i = 0; i < kBurst; ++i) {
    // Tone-filter events: timeslot, id, type, frequency, presence, 0.
    writer.U32(200 + static_cast<uint32_t>(i) % kTimeslots).U32(0).U32(0x100).U32(2100).U32(1).U32(0);
  }
  TimeBursts(state, logs, bytes, Hardware::DSProcReceiverService::instance(), receivers[0]->events);
}
BENCHMARK(BM_DspEventBurst)->Unit(benchmark::kMicrosecond);

}  // namespace

GW_BENCHMARK_MAIN()
