// Encode and decode time of representative controller messages in aligned PER: the heartbeat ping, the create of
// an RTP slot with every parameter, a tone signal, the resource report of a query and a list of LEMZ packets; and
// the encode time of the same messages in BER, the form of the value tools. The "allocs" counter is the number of
// global allocations per encode or decode.

#include "schemas/LGCP.h"

#include "asn1/CoderEnv.h"
#include "bench/BenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iterator>
#include <new>
#include <vector>

namespace {

size_t allocations = 0;

}  // namespace

// Counting replacements of the global allocator. Out of memory ends a benchmark run. GCC takes the free() of the
// replacement delete for a mismatch with the replaced new, which it is not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t bytes) {
  ++allocations;
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) {
    std::abort();
  }
  return block;
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}
#pragma GCC diagnostic pop

namespace {

// Allocations per iteration since `before`.
double AllocationsPerIteration(const benchmark::State& state, size_t before) {
  return state.iterations() == 0 ? 0.0
                                 : static_cast<double>(allocations - before) / static_cast<double>(state.iterations());
}

LGCP::Message Ping() {
  LGCP::Message message;
  message.include_seq().setValue(1);
  message.get_pdu().select_command().select_ping();
  return message;
}

void FillHost(TERM::HostAddress& host, const char* address, unsigned port) {
  host.set_iaddr(address);
  host.set_port(port);
}

// Every optional field of the RTP parameters present.
LGCP::Message CreateRtp() {
  LGCP::Message message;
  message.include_seq().setValue(42);
  message.include_slot() = 700;
  LGCP::CreateRtpParams& create = message.get_pdu().select_command().select_create().select_rtp();
  create.set_txPayload(TERM::Payload::ptG729);
  create.set_rxPayload(TERM::Payload::ptG729);
  TERM::RtpParams& rtp = create.get_codecRTP();
  rtp.set_payload(TERM::Payload::ptG729);
  FillHost(rtp.get_dhost(), "192.168.10.20", 40000);
  FillHost(rtp.include_shost(), "192.168.10.1", 40002);
  rtp.include_dname() = "gateway-7.example";
  rtp.include_jitter().set_start(40);
  rtp.get_jitter().set_max(120);
  rtp.include_pfactor().setValue(2);
  rtp.include_crate().setValue(8000);
  rtp.include_vad().setValue(true);
  rtp.include_echo().set_suppressor(true);
  rtp.get_echo().set_canceller(true);
  TERM::LemzRadioStatus& radio = rtp.include_radio().get_status().select_lemz();
  radio.get_flags().set_prio(3);
  radio.get_flags().set_ptt(true);
  radio.get_flags().set_li(300);
  radio.get_freq().set_channel(12);
  radio.get_freq().set_frequency("124.350");
  radio.get_remote().set_no(4);
  radio.get_remote().set_ch(2);
  radio.set_squelshe(TERM::RadioSquelshe::persent_50);
  radio.set_rte(TERM::RadioRTE::a1b);
  radio.set_standby_state_channel(TERM::RadioStandby::active);
  radio.set_standby_group(7);
  radio.set_standby_state_receiver(TERM::RadioStandby::standby);
  rtp.include_rtp_e2m().set_slot(701);
  rtp.get_rtp_e2m().set_channel(3);
  rtp.include_ssrc() = 0xDEADBEEFu;
  rtp.include_ttl() = 64;
  rtp.include_qos_dscp().setValue(TERM::IpQoSDSCP::ef);
  return message;
}

LGCP::Message Tonec() {
  LGCP::Message message;
  message.include_slot() = 12;
  LGCP::TonecEvent& event = message.get_pdu().select_signal().select_tonec();
  event.set_timestamp(123456);
  event.get_event().select_dtmf() = 5;
  return message;
}

LGCP::Message Query() {
  LGCP::Message message;
  message.include_seq().setValue(9);
  LGCP::Resources& resources = message.get_pdu().select_signal().select_query();
  resources.set_boardMajor(3);
  resources.set_boardMinor(1);
  resources.set_rtp_g729(64);
  resources.set_rtp_g711(128);
  resources.set_universal(32);
  LGCP::MixerResources_subtype mixer;
  mixer.set_tdm_inputs(32);
  mixer.set_mixer_inputs(64);
  for (int unit = 0; unit < 4; ++unit) {
    mixer.set_unit(unit);
    resources.get_mixer().push_back(mixer);
  }
  ASN1::INTEGER bus;
  for (int i = 0; i < 8; ++i) {
    bus.setValue(i);
    resources.get_echoBus().push_back(bus);
  }
  return message;
}

LGCP::Message LemzPackets() {
  LGCP::Message message;
  message.include_slot() = 30;
  LEMZGW::ProtoLemzPackets& packets = message.get_pdu().select_signal().select_protoLemz();
  LEMZGW::ProtoLemzPacket packet;
  packet.set_msgLength(24);
  packet.set_msgID(LEMZGW::ProtoLemzMsgID::dli_rad_state);
  packet.set_stateMode(LEMZGW::ProtoLemzMode::radio);
  packet.set_srcAddr(LEMZGW::ProtoLemzAddress::dli);
  packet.set_dstAddr(LEMZGW::ProtoLemzAddress::lgw);
  LEMZGW::ProtoLemzPacketPayloadDigitalRadState& state = packet.get_payload().select_dli_rad_state();
  state.set_channel(1);
  LEMZGW::ProtoLemzPacketPayloadDigitalRadioState& bits = state.get_payload().select_stateBits();
  bits.set_ptt(true);
  bits.set_receiver(true);
  for (int seq = 0; seq < 8; ++seq) {
    packet.set_msgSeqNum(seq);
    packets.get_packets().push_back(packet);
  }
  return message;
}

std::vector<char> Encode(const LGCP::Message& message, int rule = ASN1::CoderEnv::per_Aligned) {
  std::vector<char> octets;
  ASN1::CoderEnv env(rule);
  if (!ASN1::encode(message, &env, std::back_inserter(octets))) {
    octets.clear();
  }
  return octets;
}

void BM_Encode(benchmark::State& state, LGCP::Message (*build)(), int rule = ASN1::CoderEnv::per_Aligned) {
  const LGCP::Message message = build();
  size_t octets = 0;
  const size_t before = allocations;
  for (auto _ : state) {
    std::vector<char> encoded = Encode(message, rule);
    if (encoded.empty()) {
      state.SkipWithError("encode failed");
      return;
    }
    octets = encoded.size();
    benchmark::DoNotOptimize(encoded.data());
  }
  state.counters["allocs"] = AllocationsPerIteration(state, before);
  state.counters["octets"] = static_cast<double>(octets);
}

void BM_Decode(benchmark::State& state, LGCP::Message (*build)()) {
  const std::vector<char> encoded = Encode(build());
  const size_t before = allocations;
  for (auto _ : state) {
    LGCP::Message message;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    if (!ASN1::decode(encoded.data(), encoded.data() + encoded.size(), &env, message, true)) {
      state.SkipWithError("decode failed");
      return;
    }
    benchmark::DoNotOptimize(&message);
  }
  state.counters["allocs"] = AllocationsPerIteration(state, before);
  state.counters["octets"] = static_cast<double>(encoded.size());
}

BENCHMARK_CAPTURE(BM_Encode, ping, Ping);
BENCHMARK_CAPTURE(BM_Decode, ping, Ping);
BENCHMARK_CAPTURE(BM_Encode, create_rtp, CreateRtp);
BENCHMARK_CAPTURE(BM_Decode, create_rtp, CreateRtp);
BENCHMARK_CAPTURE(BM_Encode, tonec_signal, Tonec);
BENCHMARK_CAPTURE(BM_Decode, tonec_signal, Tonec);
BENCHMARK_CAPTURE(BM_Encode, query_signal, Query);
BENCHMARK_CAPTURE(BM_Decode, query_signal, Query);
BENCHMARK_CAPTURE(BM_Encode, lemz_packets, LemzPackets);
BENCHMARK_CAPTURE(BM_Decode, lemz_packets, LemzPackets);
BENCHMARK_CAPTURE(BM_Encode, ber_ping, Ping, ASN1::CoderEnv::ber);
BENCHMARK_CAPTURE(BM_Encode, ber_create_rtp, CreateRtp, ASN1::CoderEnv::ber);
BENCHMARK_CAPTURE(BM_Encode, ber_tonec_signal, Tonec, ASN1::CoderEnv::ber);
BENCHMARK_CAPTURE(BM_Encode, ber_query_signal, Query, ASN1::CoderEnv::ber);
BENCHMARK_CAPTURE(BM_Encode, ber_lemz_packets, LemzPackets, ASN1::CoderEnv::ber);

}  // namespace

GW_BENCHMARK_MAIN()
