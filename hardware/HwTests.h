#pragma once

#include "server/CtrlSrv.h"

#include <ostream>

class HwMux;

// The controller's backplane bus test: writes a pseudo-random byte pattern
// onto a run of bus channels through the TDM switch and reads it back, checks
// a pattern another board writes, or clears the channels again. It keeps the
// run under test; the switch is borrowed.
class HwTests : public CtrlSrv::Service {
 public:
  static constexpr int kBusTimeslots = 128;

  static HwTests& instance();

  explicit HwTests(HwMux& mux) : mux_(mux) {}

  void OnConnect() override {}
  void OnDisconnect() override {}
  // Takes testBpc only.
  bool OnCommand(const LGCP::Command& command) override;
  // "bus <n>: "
  void PutHeader(std::ostream& os) const;

 private:
  void OnTestBpc(const LGCP::BpcTestParams& params);
  // Reads the run back against the pattern of the seeded generator. The first
  // mismatch is logged with the given words and answered busError: false.
  bool CheckPattern(const char* failure, const char* expected_word, const char* actual_word);

  HwMux& mux_;
  int bus_ = 0;
  int first_ = 0;
  int end_ = 0;
  int seed_ = 0;
};
