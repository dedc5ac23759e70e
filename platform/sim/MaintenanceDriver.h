#pragma once

#include "platform/sim/Driver.h"

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

// The simulated "/dev/maintenance": the synchronisation status of the four E1
// framers, which a test sets per trunk (the control command also renders it as
// the HDLC driver's status file of the framer), and the transmit-clock masks
// the server writes.
class MaintenanceDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/maintenance";
  static constexpr int kTrunks = 4;

  struct FramerStatus {
    int32_t state = 0;  // the controller's trunk state numbering: 0 normal
    int32_t slips = 0;
    int32_t loss_bf = 0;
    int32_t loss_carrier = 0;
    int32_t loss_ais = 0;
    int32_t loss_rai = 0;
  };

  MaintenanceDriver();

  void SetStatus(int trunk, const FramerStatus& status);
  // Every transmit-clock mask written, oldest first.
  std::vector<unsigned long> TclkWrites() const;

 private:
  long FillStatus(Record& record) const;

  std::array<FramerStatus, kTrunks> framers_{};
  std::vector<unsigned long> tclk_writes_;
};

}  // namespace sim
