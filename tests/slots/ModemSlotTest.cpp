#include "slots/ModemFactory.h"

#include "platform/sim/Board.h"
#include "platform/sim/ModemDriver.h"
#include "platform/sim/NetInterfacesDriver.h"
#include "runtime/loop/ChildWait.h"
#include "runtime/loop/Signal.h"
#include "slots/ModemSlot.h"
#include "tests/slots/SlotsHarness.h"
#include "tests/support/BoardRoot.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using sim::ModemDriver;
using sim::NetInterfacesDriver;

constexpr unsigned long kAllocate = 0xbb0b;
constexpr unsigned long kTimeslot = 0xbb15;
constexpr unsigned long kModes = 0xbb16;
constexpr unsigned long kReset = 0xbb3a;
constexpr unsigned long kParameter = 0xbb38;
constexpr unsigned long kAnswer = 0xbb03;
constexpr unsigned long kOriginate = 0xbb04;
constexpr unsigned long kFaxOriginate = 0xbb40;
constexpr int kModem0Channel = ModemDriver::kFirstSwitchChannel;

using ModemFill = std::function<void(TERM::ModemParams&)>;

void AddMode(TERM::ModemParams& params, TERM::DigitalDataModeEnum::NamedNumber value) {
  TERM::DigitalDataModeEnum mode;
  mode.setValue(value);
  params.include_ddm().push_back(mode);
}

// The argv lines a stand-in recorded, in order.
Lines Arguments(const std::string& log) {
  Lines arguments;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("argv[", 0) == 0) {
      arguments.push_back(line.substr(line.find('=') + 1));
    }
  }
  return arguments;
}

class ModemSlotTest : public SlotsTest {
 protected:
  void SetUp() override {
    static const bool reaping = [] {
      ChildWait::Activate();
      return true;
    }();
    (void)reaping;
    setenv("GATEWAY_AUTH_PORT", "0", 1);
    for (const char* program : {"/usr/local/sbin/pppd", "/usr/local/sbin/fax", "/usr/local/bin/fax"}) {
      Install(program);
    }
    fs::create_directories(Host("/var"));
    SlotsTest::SetUp();
    mctl_ = sim::Board::instance().Find<ModemDriver>(ModemDriver::kPath);
    netif_ = sim::Board::instance().Find<NetInterfacesDriver>(NetInterfacesDriver::kPath);
    ASSERT_NE(mctl_, nullptr);
    ASSERT_NE(netif_, nullptr);
    log_ = std::make_unique<ctrlsrv_test::Capture>(std::clog);
    (void)ModemFactory::instance();
  }
  void TearDown() override {
    SlotsTest::TearDown();
    log_.reset();
    mctl_->SetAbsent(false);
    netif_->Set(3, {});
    // The factory sees interfaces come and go only at a query: the next test must not find this one's.
    LGCP::Resources resources;
    ModemFactory::instance().Query(resources);
    unsetenv("PPPD_SCENARIO");
    unsetenv("FAX_SCENARIO");
    // Children still running belong to slots that were deleted: none may outlive the test.
    (void)control_test::RunWithin([] { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; });
  }

  void Install(const std::string& board_path) { root_.Install(MODEM_PROGRAM_STANDIN, board_path); }
  fs::path Host(const std::string& board_path) const { return root_.Path(board_path); }
  Lines CreateModem(unsigned slot, const ModemFill& fill = nullptr) {
    return Send(slot, [&](LGCP::Command& command) {
      TERM::ModemParams& modem = command.select_create().select_modem();
      modem.set_cid("5551234");
      modem.set_cdid("100");
      if (fill) {
        fill(modem);
      }
    });
  }
  // Connects a trunk to the modem: the modem's input stream sets it up.
  Lines ConnectModem(unsigned modem) {
    CreateTrunk(90, 0, 1);
    Received();
    return Connect(90, modem);
  }
  std::string Log(const char* program) const { return root_.Read("/" + std::string(program) + ".log"); }
  std::vector<unsigned long> RequestCodes() const {
    std::vector<unsigned long> codes;
    for (const sim::Request& request : mctl_->Requests()) {
      codes.push_back(request.code);
    }
    return codes;
  }
  // Received lines until one contains text.
  Lines ReceiveUntil(const std::string& text, Lines all = {}) {
    (void)control_test::RunWithin([&] {
      for (const std::string& line : Received()) {
        all.push_back(line);
      }
      return std::any_of(all.begin(), all.end(),
                         [&text](const std::string& line) { return line.find(text) != std::string::npos; });
    });
    return all;
  }

  std::string LogText() const { return log_->Text(); }
  // Destroys the modem and waits for the answer.
  Lines DestroyModem(unsigned slot) {
    Lines lines = ReceiveUntil(std::to_string(slot) + " success",
                               Send(slot, [](LGCP::Command& command) { command.select_destroy(); }));
    EXPECT_EQ(SlotAt(slot), nullptr);
    return lines;
  }

  TempBoardRoot root_;
  std::unique_ptr<ctrlsrv_test::Capture> log_;
  ModemDriver* mctl_ = nullptr;
  NetInterfacesDriver* netif_ = nullptr;
};

TEST_F(ModemSlotTest, DspModemSetsUpAndRunsPppdWithItsArguments) {
  const struct {
    const char* name;
    ModemFill fill;
    std::vector<unsigned long> requests;
    const char* call;
    Lines arguments;
  } kCases[] = {
      {"answer with cid and parameters",
       [](TERM::ModemParams& m) {
         TERM::DDModemParam parameter;
         parameter.set_offset(7);
         parameter.set_value(-3);
         m.include_dmp().push_back(parameter);
       },
       {kAllocate, kTimeslot, kReset, kParameter, kAnswer},
       "answer",
       {"/usr/local/sbin/pppd", "file", "/usr/local/etc/ppp/aoptions", "/dev/mdm0", "remotenumber", "5551234"}},
      {"originate without cid",
       [](TERM::ModemParams& m) {
         m.set_cid("");
         m.include_originate();
       },
       {kAllocate, kTimeslot, kReset, kOriginate},
       "originate",
       {"/usr/local/sbin/pppd", "file", "/usr/local/etc/ppp/coptions", "/dev/mdm0"}},
      {"digital modes but no free interface",
       [](TERM::ModemParams& m) {
         AddMode(m, TERM::DigitalDataModeEnum::ddmV110);
         AddMode(m, TERM::DigitalDataModeEnum::ddm7BIT);
         AddMode(m, TERM::DigitalDataModeEnum::ddmV120);
       },
       {kAllocate, kTimeslot, kModes, kReset, kAnswer},
       "answer",
       {"/usr/local/sbin/pppd", "file", "/usr/local/etc/ppp/aoptions", "/dev/mdm0", "remotenumber", "5551234"}},
      {"execargs replace the arguments",
       [](TERM::ModemParams& m) {
         m.include_execfile() = "/usr/local/bin/dialer";
         m.include_execargs().push_back(ASN1::IA5String("-x"));
         m.get_execargs().push_back(ASN1::IA5String("y"));
       },
       {kAllocate, kTimeslot, kReset, kAnswer},
       "answer",
       {"/usr/local/bin/dialer", "-x", "y"}},
  };
  Install("/usr/local/bin/dialer");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string program = fs::path(c.arguments[0]).filename();
    fs::remove(Host("/" + program + ".log"));
    EXPECT_EQ(CreateModem(5, c.fill), Lines{"5 success"});
    const size_t before = mctl_->Requests().size();
    EXPECT_EQ(ConnectModem(5), (Lines{"5 transmitter : active : 384", "5 receiver : active : 384", "90 success"}));
    std::vector<unsigned long> codes = RequestCodes();
    EXPECT_EQ(std::vector<unsigned long>(codes.begin() + static_cast<long>(before), codes.end()), c.requests);
    const ModemDriver::Modem modem = mctl_->ModemAt(0);
    EXPECT_EQ(modem.call, c.call);
    ASSERT_TRUE(control_test::RunWithin([&] { return Arguments(Log(program.c_str())).size() == c.arguments.size(); }));
    Lines expected = c.arguments;
    expected[0] = root_.Path(c.arguments[0]);
    EXPECT_EQ(Arguments(Log(program.c_str())), expected);
    EXPECT_EQ(SlotAt(5)->IGetTransmitChannel(), kModem0Channel);
    Destroy(90);
    DestroyModem(5);
  }
}

// A daemon that leaves on its hang-up is the end-to-end test's; this one holds out.
TEST_F(ModemSlotTest, DestroyHangsUpTheDaemonAndCompletesWhenItIsGone) {
  control_test::FrozenClock clock;
  // Before the first connect there is nothing to wait for.
  CreateModem(5);
  EXPECT_EQ(Destroy(5), Lines{"5 success"});

  setenv("PPPD_SCENARIO", "ignore-hup", 1);
  CreateModem(5);
  ConnectModem(5);
  ASSERT_TRUE(control_test::RunWithin([&] { return Log("pppd").find("pid=") != std::string::npos; }));
  Destroy(90);
  Received();
  EXPECT_EQ(Destroy(5, 11), Lines{});
  // The answer waits for the loop clock, however long the daemon holds out.
  ctrlsrv_test::Pump();
  EXPECT_EQ(Received(), Lines{});
  clock.Advance(5000);
  EXPECT_EQ(ReceiveUntil("success"), Lines{"#11 5 success"});
  EXPECT_EQ(SlotAt(5), nullptr);
  EXPECT_NE(ErrorText().find("05:dsp-modem: sent HUP to pppd.\n05:dsp-modem: pppd terminate timeout!\n05:dsp-modem: "
                             "pppd isn't terminated, killing"),
            std::string::npos);
}

TEST_F(ModemSlotTest, DaemonEndOrExecFailureIsAnAbort) {
  const struct {
    const char* name;
    std::function<void()> prepare;
    ModemFill fill;
    std::string abort;
  } kCases[] = {
      {"daemon exits", [] { setenv("PPPD_SCENARIO", "exit:3", 1); }, nullptr, "5 abort : 768"},
      {"daemon missing", [this] { fs::remove(Host("/usr/local/sbin/pppd")); }, nullptr, "5 abort : 512"},
      {"execfile outside the program folders", [] {}, [](TERM::ModemParams& m) { m.include_execfile() = "/bin/sh"; },
       "5 abort : 13"},
      {"execfile climbing out", [] {},
       [](TERM::ModemParams& m) { m.include_execfile() = "/usr/local/sbin/../../../bin/sh"; }, "5 abort : 13"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    CreateModem(5, c.fill);
    const Lines lines = ReceiveUntil("abort", ConnectModem(5));
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.abort), lines.end()) << ::testing::PrintToString(lines);
    Destroy(90);
    DestroyModem(5);
  }
  EXPECT_NE(ErrorText().find("refused to run \"/bin/sh\": not a program of the board"), std::string::npos);
  // A refused program touched no modem.
  EXPECT_FALSE(mctl_->ModemAt(0).allocated);
}

TEST_F(ModemSlotTest, FailedSetUpAbortsAndIsRepeatedAtTheNextConnect) {
  const struct {
    const char* name;
    std::function<void()> fail;
    std::string line;
    std::string abort;
  } kCases[] = {
      {"no device", [this] { mctl_->SetAbsent(true); }, "05:dsp-modem: fail to open device: No such file",
       "5 abort : 2"},
      {"no modem left", [this] { mctl_->FailNextRequest(kAllocate, 1, EBUSY); },
       "05:dsp-modem: insufficient resources : Device or resource busy", "5 abort : 16"},
      {"no timeslot", [this] { mctl_->FailNextRequest(kTimeslot, 1, EIO); },
       "05:dsp-modem: get timeslot fail : Input/output error", "5 abort : 5"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CreateModem(5);
    c.fail();
    const Lines failed = ConnectModem(5);
    EXPECT_NE(std::find(failed.begin(), failed.end(), c.abort), failed.end());
    // The controller is not told of a channel the modem does not have.
    EXPECT_EQ(std::count_if(failed.begin(), failed.end(),
                            [](const std::string& line) { return line.find("active") != std::string::npos; }),
              0);
    EXPECT_NE(ErrorText().find(c.line), std::string::npos) << ErrorText();
    EXPECT_EQ(SlotAt(5)->IGetTransmitChannel(), -1);
    mctl_->SetAbsent(false);
    Destroy(90);
    Received();
    // The next connect sets it up.
    EXPECT_EQ(ConnectModem(5), (Lines{"5 transmitter : active : 384", "5 receiver : active : 384", "90 success"}));
    Destroy(90);
    DestroyModem(5);
  }
  // A missing device counts no modem.
  mctl_->SetAbsent(true);
  LGCP::Resources resources;
  ModemFactory::instance().Query(resources);
  EXPECT_EQ(resources.get_modem().getValue(), 0);
  mctl_->SetAbsent(false);
  ModemFactory::instance().Query(resources);
  EXPECT_EQ(resources.get_modem().getValue(), 4);
}

TEST_F(ModemSlotTest, FindModemByDspNamesTheFirstLiveSlotOnThatModem) {
  const ModemFactory& factory = ModemFactory::instance();
  CreateModem(6);
  CreateModem(5);
  ConnectModem(5);
  EXPECT_EQ(static_cast<Slot*>(factory.FindModemByDsp(0)), SlotAt(5));
  // Slots not set up yet share -1; the older one is found.
  EXPECT_EQ(static_cast<Slot*>(factory.FindModemByDsp(-1)), SlotAt(6));
  EXPECT_EQ(factory.FindModemByDsp(1), nullptr);
  Destroy(90);
  DestroyModem(5);
  EXPECT_EQ(factory.FindModemByDsp(0), nullptr);
  Destroy(6);
  EXPECT_EQ(factory.FindModemByDsp(-1), nullptr);
}

TEST_F(ModemSlotTest, DigitalModemSwitchesItsInterfaceAndHoldsItAlone) {
  NetInterfacesDriver::Interface hdlc;
  hdlc.name = "hdlc0";
  hdlc.point_to_point = true;
  hdlc.channel = 77;
  netif_->Set(3, hdlc);
  LGCP::Resources resources;
  ModemFactory::instance().Query(resources);
  EXPECT_EQ(resources.get_digital_modems().getValue(), 1);

  const ModemFill digital = [](TERM::ModemParams& m) { AddMode(m, TERM::DigitalDataModeEnum::ddm8BIT); };
  CreateModem(5, digital);
  // The interface held by slot 5 is not offered again, neither by the count nor to the next create.
  ModemFactory::instance().Query(resources);
  EXPECT_EQ(resources.get_digital_modems().getValue(), 0);
  CreateModem(6, digital);
  EXPECT_STREQ(SlotAt(6)->GetName(), "dsp-modem");
  Destroy(6);

  EXPECT_EQ(ConnectModem(5), (Lines{"5 receiver : active : 77", "90 success"}));
  EXPECT_EQ(netif_->Get(3).protocol, NetInterfacesDriver::kProtoPpp);
  ASSERT_TRUE(control_test::RunWithin([&] { return Arguments(Log("pppd")).size() == 6; }));
  EXPECT_EQ(Arguments(Log("pppd")), (Lines{root_.Path("/usr/local/sbin/pppd"), "file", "/usr/local/etc/ppp/ioptions",
                                           "hdlc0", "remotenumber", "5551234"}));
  Destroy(90);
  DestroyModem(5);
  EXPECT_EQ(netif_->Get(3).protocol, NetInterfacesDriver::kProtoHdlc);
  EXPECT_FALSE(netif_->Get(3).up);
  ModemFactory::instance().Query(resources);
  EXPECT_EQ(resources.get_digital_modems().getValue(), 1);
}

TEST_F(ModemSlotTest, FaxSenderIsAccountedByItsExitAndReceiverIsWatched) {
  const ModemFill sender = [](TERM::ModemParams& m) {
    m.include_fax();
    m.include_execargs().push_back(ASN1::IA5String("send"));
    m.get_execargs().push_back(ASN1::IA5String("doc.g3"));
  };
  const struct {
    const char* name;
    const char* scenario;
    Lines tail;
  } kCases[] = {
      {"three pages",
       "exit:3",
       {"5 modemProceeding : acct : { octetsOut { low 0, high 0 }, octetsIn { low 3, high 0 }, packetsOut { low 0, "
        "high 0 }, packetsIn { low 0, high 0 }, time { low 0, high 0 }}",
        "5 abort : 768"}},
      {"killed",
       "signal:9",
       {"5 modemProceeding : acct : { octetsOut { low 0, high 0 }, octetsIn { low 0, high 0 }, packetsOut { low 0, "
        "high 0 }, packetsIn { low 0, high 0 }, time { low 0, high 0 }}",
        "5 abort : 9"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    setenv("FAX_SCENARIO", c.scenario, 1);
    fs::remove(Host("/fax.log"));
    CreateModem(5, sender);
    const Lines lines = ReceiveUntil("abort", ConnectModem(5));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()), c.tail);
    EXPECT_EQ(Arguments(Log("fax")), (Lines{root_.Path("/usr/local/sbin/fax"), "-m", "0", "send", "doc.g3"}));
    Destroy(90);
    DestroyModem(5);
  }
  EXPECT_NE(ErrorText().find("05:dsp-modem: fax transfer failed\n05:dsp-modem: pages received: 0\n"),
            std::string::npos);

  // A sender that cannot run is accounted as no page, never as its exit code 2, then aborted with its status.
  CreateModem(5, [&](TERM::ModemParams& m) {
    sender(m);
    m.include_execfile() = "/usr/local/sbin/nofax";
  });
  const Lines failed = ReceiveUntil("abort", ConnectModem(5));
  ASSERT_GE(failed.size(), 2u);
  EXPECT_EQ(Lines(failed.end() - 2, failed.end()), (Lines{kCases[1].tail.front(), "5 abort : 512"}));
  EXPECT_NE(ErrorText().find("05:dsp-modem: fail to exec \"" + Host("/usr/local/sbin/nofax").string() +
                             "\": No such file or directory\n05:dsp-modem: pages received: 0\n"),
            std::string::npos);
  Destroy(90);
  DestroyModem(5);

  // Fax origination only asks the modem; it runs no program, so an execfile of no program of the board is no bar.
  CreateModem(5, [](TERM::ModemParams& m) {
    m.include_fax();
    m.include_originate();
    m.include_execfile() = "/bin/sh";
  });
  ConnectModem(5);
  EXPECT_EQ(mctl_->ModemAt(0).call, "fax-originate");
  Destroy(90);
  DestroyModem(5);

  // The receiver's file names the day, the time and the modem; a destroy hangs it up.
  setenv("FAX_SCENARIO", "receive", 1);
  fs::remove(Host("/fax.log"));
  CreateModem(5, [](TERM::ModemParams& m) {
    m.include_fax();
    m.include_execfile() = "/bin/sh";
  });
  ConnectModem(5);
  ASSERT_TRUE(control_test::RunWithin([&] { return Arguments(Log("fax")).size() == 5; }));
  const Lines arguments = Arguments(Log("fax"));
  EXPECT_EQ(Lines(arguments.begin(), arguments.begin() + 4),
            (Lines{root_.Path("/usr/local/bin/fax"), "-m", "0", "receive"}));
  const std::string file = fs::path(arguments[4]).filename();
  EXPECT_EQ(fs::path(arguments[4]).parent_path(), Host("/var"));
  EXPECT_EQ(file.size(), std::string("fax-2026-12-07-03-12-46-m0.g3").size()) << file;
  EXPECT_EQ(file.substr(file.size() - 6), "-m0.g3");
  EXPECT_TRUE(control_test::RunWithin([&] { return fs::exists(arguments[4]); }));
  Destroy(90);
  DestroyModem(5);
  EXPECT_NE(LogText().find("fax receiver terminated with code 0"), std::string::npos);
}
}  // namespace

namespace {

using Bytes = std::vector<uint8_t>;

// The local authentication program's end of a connection to the server.
class Portslave {
 public:
  explicit Portslave(uint16_t port) : fd_(control_test::Connect(port)) {
    EXPECT_TRUE(fd_.NonBlock());
    ctrlsrv_test::Pump();
  }
  void Write(const Bytes& bytes) {
    EXPECT_EQ(write(fd_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ctrlsrv_test::Pump();
  }
  // What the server sent since the last look.
  Bytes Take() {
    Bytes bytes;
    uint8_t chunk[600];
    ssize_t n;
    while ((n = read(fd_.get(), chunk, sizeof chunk)) > 0) {
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    // Unread bytes left at the server turn its close into a reset.
    closed_ = closed_ || n == 0 || (n < 0 && errno != EAGAIN);
    return bytes;
  }
  bool Closed() {
    Take();
    return closed_;
  }

 private:
  Fd fd_;
  bool closed_ = false;
};

Bytes Words(std::initializer_list<uint32_t> words, size_t size = 0) {
  Bytes bytes;
  for (uint32_t word : words) {
    bytes.insert(bytes.end(), {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                               static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)});
  }
  bytes.resize(std::max(size, bytes.size()));
  return bytes;
}

Bytes AuthRequest(uint32_t session, const std::string& user, const std::string& password) {
  Bytes bytes = Words({140, 1, session}, 140);
  std::copy(user.begin(), user.end(), bytes.begin() + 12);
  std::copy(password.begin(), password.end(), bytes.begin() + 76);
  return bytes;
}

// Octets out 0x100000002, in 3, packets out 4, in 5, time 6.
Bytes Accounting(uint32_t session, size_t size = 64) {
  Bytes bytes = Words({static_cast<uint32_t>(size), 4, session, 0, 0, 0, 1, 2, 0, 3, 0, 4, 0, 5, 6, 0});
  bytes.resize(size);
  return bytes;
}

Bytes Joined(const Bytes& a, const Bytes& b) {
  Bytes bytes = a;
  bytes.insert(bytes.end(), b.begin(), b.end());
  return bytes;
}

constexpr const char* kAuthSignal = "5 modemProceeding : auth : { username \"alice\", password \"secret\"}";
constexpr const char* kAcctSignal =
    "5 modemProceeding : acct : { octetsOut { low 2, high 1 }, octetsIn { low 3, high 0 }, packetsOut { low 4, high 0 "
    "}, packetsIn { low 5, high 0 }, time { low 6, high 0 }}";

TEST_F(ModemSlotTest, AuthRecordsAreReadWholeAndRoutedBySession) {
  CreateModem(5);
  ConnectModem(5);
  Received();
  const Bytes request = AuthRequest(0, "alice", "secret");
  const struct {
    const char* name;
    std::vector<Bytes> segments;
    bool closes;
    Lines signals;
    const char* line;
  } kCases[] = {
      {"size 3", {Words({3})}, true, {}, nullptr},
      {"size 11, shorter than its header", {Words({11, 1, 0})}, true, {}, nullptr},
      {"size 513", {Words({513, 1, 0})}, true, {}, nullptr},
      {"size 512 read whole",
       {Joined(Words({512, 9, 0}, 512), request)},
       false,
       {kAuthSignal},
       "05:dsp-modem: unknown request from portslave: 0x9\n"},
      {"two records in one segment", {Joined(request, Accounting(0))}, false, {kAuthSignal, kAcctSignal}, nullptr},
      {"split record",
       {Bytes(request.begin(), request.begin() + 2), Bytes(request.begin() + 2, request.begin() + 100),
        Bytes(request.begin() + 100, request.end())},
       false,
       {kAuthSignal},
       nullptr},
      {"accounting of 63 bytes", {Accounting(0, 63)}, false, {}, "05:dsp-modem: auth accounting, invalid size: 63\n"},
      {"unknown session", {AuthRequest(7, "bob", "x")}, false, {}, "receive auth request for unknown session 7\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Portslave portslave(ModemFactory::instance().AuthPort());
    for (const Bytes& segment : c.segments) {
      portslave.Write(segment);
    }
    EXPECT_EQ(portslave.Closed(), c.closes);
    EXPECT_EQ(Received(), c.signals);
    if (c.line != nullptr) {
      EXPECT_NE(ErrorText().find(c.line), std::string::npos) << ErrorText();
    }
  }
  EXPECT_NE(LogText().find("disconnected."), std::string::npos);
}

TEST_F(ModemSlotTest, ActivateAnswersTheConnectionThatSpokeForTheSession) {
  CreateModem(5);
  ConnectModem(5);
  Portslave silent(ModemFactory::instance().AuthPort());
  Portslave speaker(ModemFactory::instance().AuthPort());
  speaker.Write(Accounting(0));
  Received();
  const auto activate = [this](const char* remote, const char* gateway = "10.0.0.1", const char* dns = "8.8.8.8") {
    return Send(5, [=](LGCP::Command& command) {
      TERM::ModemUserParameters& user = command.select_activate().select_modem();
      user.set_remoteAddr(remote);
      user.set_netmask("255.255.255.0");
      user.set_gateway(gateway);
      user.set_dns(dns);
      user.set_mtu(1500);
    });
  };
  EXPECT_EQ(activate("10.0.0.2"), Lines{"5 success"});
  EXPECT_EQ(speaker.Take(),
            Joined(Words({16, 2, 0, 1}), Words({36, 3, 0, 0, 0x0a000002, 0xffffff00, 0x0a000001, 0x08080808, 1500})));
  // A connection that has not spoken is no digital modem's session.
  EXPECT_EQ(silent.Take(), Bytes{});

  // A text that is no address goes out as inet_addr makes it, 255.255.255.255, and is named in the log.
  EXPECT_EQ(activate("10.0.0.2", "gw", ""), Lines{"5 success"});
  EXPECT_EQ(speaker.Take(),
            Joined(Words({16, 2, 0, 1}), Words({36, 3, 0, 0, 0x0a000002, 0xffffff00, 0xffffffff, 0xffffffff, 1500})));
  EXPECT_NE(ErrorText().find("05:dsp-modem: activation gateway \"gw\" is no address: sent as 255.255.255.255\n"
                             "05:dsp-modem: activation dns \"\" is no address"),
            std::string::npos);
  EXPECT_EQ(Send(5, [](LGCP::Command& command) { command.select_activate().select_empty(); }),
            Lines{"5 error unsupported"});
  EXPECT_EQ(speaker.Take(), Bytes{});
  EXPECT_NE(ErrorText().find("05:dsp-modem: modem's activation requests parameter.\n"), std::string::npos);

  // Modems not set up yet share session -1 with the digital modems: the first takes the record, and it is logged.
  CreateModem(7);
  CreateModem(8);
  speaker.Write(AuthRequest(0xffffffff, "alice", "secret"));
  EXPECT_EQ(Received(), Lines{"7 modemProceeding : auth : { username \"alice\", password \"secret\"}"});
  EXPECT_NE(ErrorText().find("modem[4,3]: 2 slots share auth session -1, the first takes the record.\n"),
            std::string::npos)
      << ErrorText();
}

}  // namespace
