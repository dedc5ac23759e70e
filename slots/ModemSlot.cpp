#include "slots/ModemSlot.h"

#include "platform/BoardPath.h"
#include "platform/ByteOrder.h"
#include "runtime/log/Ext.h"
#include "slots/ModemFactory.h"

#include <arpa/inet.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr const char* kPppd = "/usr/local/sbin/pppd";
constexpr unsigned kTerminateTimeoutMs = 5000;
constexpr size_t kMaxExtraArguments = 62;
constexpr size_t kRequestSize = 140;
constexpr size_t kAccountingSize = 64;
constexpr size_t kTextField = 64;

// The text of a NUL-terminated char[64] field; a field without NUL ends at the field.
std::string TextField(const AuthRecord& record, size_t offset) {
  const auto begin = record.begin() + static_cast<long>(offset);
  return std::string(begin, std::find(begin, begin + kTextField, 0));
}

// A u64 counter, high word first, as {low, high}.
void StoreCounter(BASE::INTEGER64Bits& counter, const AuthRecord& record, size_t offset) {
  counter.set_high(static_cast<int>(platform::LoadBe32(&record[offset])));
  counter.set_low(static_cast<int>(platform::LoadBe32(&record[offset + 4])));
}

AuthRecord Words(std::initializer_list<uint32_t> words) {
  AuthRecord record(words.size() * 4);
  size_t offset = 0;
  for (uint32_t word : words) {
    platform::StoreBe32(&record[offset], word);
    offset += 4;
  }
  return record;
}

// An address in host order; nothing for a text that is no address.
std::optional<uint32_t> Address(const std::string& text) {
  in_addr address{};
  if (inet_aton(text.c_str(), &address) == 0) {
    return std::nullopt;
  }
  return ntohl(address.s_addr);
}

}  // namespace

ModemSlot::ModemSlot(ModemFactory& factory, const TERM::ModemParams& params) : factory_(factory), params_(params) {
  wait_.Bind(this, &ModemSlot::on_terminate);
}

ModemSlot::~ModemSlot() {
  pppd_kill();
  timer_.reset();
  wait_.Detach();
}

void ModemSlot::PutHeader(std::ostream& os) const {
  Put(os);
  os << ": ";
}

bool ModemSlot::ProgramAllowed() {
  if (!params_.has_execfile() || ChildProgram::AllowedProgram(params_.get_execfile())) {
    return true;
  }
  std::cerr << ext::header(this) << "refused to run " << ext::quoted(params_.get_execfile())
            << ": not a program of the board" << std::endl;
  OnAbort(EACCES);
  return false;
}

std::string ModemSlot::Program(const char* default_board_path) const {
  return params_.has_execfile() ? *ChildProgram::AllowedProgram(params_.get_execfile())
                                : platform::BoardPath(default_board_path);
}

bool ModemSlot::StartChild(const ChildProgram::Launch& launch, void (ModemSlot::*on_exit)(int), Fd* exec_status) {
  const int pid = ChildProgram::Start(launch, exec_status);
  if (pid < 0) {
    const int error = errno;
    std::cerr << ext::header(this) << "vfork fail: " << std::strerror(error) << std::endl;
    OnAbort(error);
    return false;
  }
  pid_ = pid;
  wait_.Bind(this, on_exit);
  wait_.Attach(pid);
  return true;
}

bool ModemSlot::pppd_exec(const char* tty, const char* options) {
  if (HasChild()) {
    return true;
  }
  const std::string program = Program(kPppd);
  ChildProgram::Launch launch{program, {program}};
  if (params_.has_execargs()) {
    for (size_t i = 0; i < params_.get_execargs().size() && i < kMaxExtraArguments; ++i) {
      launch.argv.push_back(params_.get_execargs()[i]);
    }
  } else {
    launch.argv.insert(launch.argv.end(), {"file", options, tty});
    if (!params_.get_cid().empty()) {
      launch.argv.insert(launch.argv.end(), {"remotenumber", params_.get_cid()});
    }
  }
  if (!StartChild(launch, &ModemSlot::on_terminate)) {
    return false;
  }
  std::clog << ext::header(this) << "pppd executed cid=" << ext::quoted(params_.get_cid()) << " pid=" << pid_
            << std::endl;
  return true;
}

void ModemSlot::pppd_kill() {
  if (!HasChild()) {
    return;
  }
  std::cerr << ext::header(this) << "pppd isn't terminated, killing ..." << std::endl;
  kill(pid_, SIGKILL);
}

bool ModemSlot::IBeforeDestroy() {
  if (!HasChild()) {
    unbind();
    return true;
  }
  std::cerr << ext::header(this) << "sent HUP to pppd." << std::endl;
  kill(pid_, SIGHUP);
  timer_.set(kTerminateTimeoutMs, &ModemSlot::on_terminate_timeout, this);
  return false;
}

void ModemSlot::CompleteDestroy() {
  if (!IsDestroying()) {
    return;
  }
  timer_.reset();
  unbind();
  on_release();
}

void ModemSlot::on_terminate(int status) {
  std::clog << ext::header(this) << "pppd terminated with code " << status << std::endl;
  pid_ = -1;
  if (IsDestroying()) {
    CompleteDestroy();
    return;
  }
  OnAbort(status);
}

void ModemSlot::on_terminate_timeout(Timer*) {
  std::cerr << ext::header(this) << "pppd terminate timeout!" << std::endl;
  pppd_kill();
  CompleteDestroy();
}

void ModemSlot::OnAuth(const AuthRecord& record) {
  const uint32_t type = AuthLink::TypeOf(record);
  switch (type) {
    case AuthLink::kRequest:
      if (record.size() != kRequestSize) {
        std::cerr << ext::header(this) << "auth request, invalid size: " << record.size() << std::endl;
        return;
      }
      OnAuthRequest(record);
      return;
    case AuthLink::kAccept:
      std::cerr << ext::header(this) << "auth accept, ignored." << std::endl;
      return;
    case AuthLink::kIpParameters:
      std::cerr << ext::header(this) << "auth ip, ignored." << std::endl;
      return;
    case AuthLink::kAccounting:
      if (record.size() != kAccountingSize) {
        std::cerr << ext::header(this) << "auth accounting, invalid size: " << record.size() << std::endl;
        return;
      }
      OnAcctInformation(record);
      return;
    default:
      std::cerr << ext::header(this) << "unknown request from portslave: 0x" << std::hex << type << std::dec
                << std::endl;
      return;
  }
}

void ModemSlot::OnAuthRequest(const AuthRecord& record) {
  TERM::ModemProceeding proceeding;
  TERM::MdmRequestUserAuth& auth = proceeding.select_auth();
  auth.set_username(TextField(record, 12));
  auth.set_password(TextField(record, 12 + kTextField));
  OnModem(proceeding);
}

void ModemSlot::OnAcctInformation(const AuthRecord& record) {
  TERM::ModemProceeding proceeding;
  TERM::MdmAccounting& acct = proceeding.select_acct();
  StoreCounter(acct.get_octetsOut(), record, 24);
  StoreCounter(acct.get_octetsIn(), record, 32);
  StoreCounter(acct.get_packetsOut(), record, 40);
  StoreCounter(acct.get_packetsIn(), record, 48);
  acct.get_time().set_low(static_cast<int>(platform::LoadBe32(&record[56])));
  acct.get_time().set_high(0);
  OnModem(proceeding);
}

bool ModemSlot::IActivate(const TERM::TermActivateParams& params) {
  if (!params.is_modem()) {
    std::cerr << ext::header(this) << "modem's activation requests parameter." << std::endl;
    return false;
  }
  const TERM::ModemUserParameters& user = params.get_modem();
  const char* const names[] = {"remoteAddr", "netmask", "gateway", "dns"};
  const std::string* const texts[] = {&user.get_remoteAddr(), &user.get_netmask(), &user.get_gateway(),
                                      &user.get_dns()};
  uint32_t addresses[4];
  for (size_t i = 0; i < std::size(addresses); ++i) {
    const std::optional<uint32_t> address = Address(*texts[i]);
    if (!address) {
      std::cerr << ext::header(this) << "activation " << names[i] << " " << ext::quoted(*texts[i])
                << " is no address: sent as 255.255.255.255" << std::endl;
    }
    // As inet_addr converts it: the access server takes 255.255.255.255 as
    // it stands (a user-chosen address, a point-to-point netmask).
    addresses[i] = address.value_or(INADDR_NONE);
  }
  const auto session = static_cast<uint32_t>(modem_id());
  factory_.SendAuth(Words({16, AuthLink::kAccept, session, 1}));
  factory_.SendAuth(Words({36, AuthLink::kIpParameters, session, 0, addresses[0], addresses[1], addresses[2],
                           addresses[3], static_cast<uint32_t>(user.get_mtu().getValue())}));
  return true;
}
