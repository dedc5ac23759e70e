#pragma once

#include "runtime/loop/Event.h"
#include "runtime/net/Fd.h"
#include "runtime/net/INet4.h"
#include "slots/AuthClient.h"
#include "slots/SlotFactory.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class ModemSlot;
class DspModemSlot;
class HdlcModemSlot;

// Builds the modem slots: a digital modem on a free point-to-point HDLC
// interface when the create asks for digital data modes and one is free, a DSP
// modem otherwise. It also owns the dial-in authentication link: the listener
// on 127.0.0.1:52000 and its connections, whose records it routes to and from
// the modem slots by session.
class ModemFactory : public SlotFactory {
 public:
  static constexpr uint16_t kAuthPort = 52000;
  // On the host build: another port for the listener (platform::ServicePort).
  static constexpr const char* kAuthPortVariable = "GATEWAY_AUTH_PORT";

  static ModemFactory& instance();

  const char* GetName() const override { return "Modem"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  // The DSP modems found and the free point-to-point interfaces, both counted anew.
  void Query(LGCP::Resources& resources) override;
  // "modem[<DSP modems>,<live modem slots>]: "
  void PutHeader(std::ostream& os) const;

  void ReleaseModemSlot(DspModemSlot* slot);
  // Its interface is free again.
  void ReleaseModemSlot(HdlcModemSlot* slot);
  // The first live modem slot, in creation order, whose modem_id() is the number; null when none.
  ModemSlot* FindModemByDsp(int modem) const;

  // A whole record from a connection, to the slot of its session.
  void OnAuth(const AuthRecord& record);
  // To the connection that last spoke for the record's session.
  void SendAuth(const AuthRecord& record);
  // Takes a new connection of the authentication program and watches it.
  AuthClient& AddAuthClient(Fd fd, const INet4::Addr& peer);
  void OnAuthSocketDisconnect(AuthClient* client);
  // The port the listener is bound to; 0 without a listener.
  uint16_t AuthPort() const;

 private:
  ModemFactory();
  ~ModemFactory() override;

  void IQuery();
  void update_modemDevices();
  void update_hdlcDevices();
  bool IsHeld(const std::string& interface) const;
  void Forget(ModemSlot* slot);
  // Opens the listener.
  void Init();
  void OnSocketEvent(int fd, short revents);

  std::vector<DspModemSlot*> dsp_;
  std::vector<HdlcModemSlot*> digital_;
  std::vector<ModemSlot*> modems_;  // every live modem slot, in creation order
  unsigned dsp_modems_ = 0;
  Event listener_;
  std::vector<std::unique_ptr<AuthClient>> clients_;
  std::vector<std::string> free_interfaces_;  // in interface-number order
};
