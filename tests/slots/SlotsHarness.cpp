#include "tests/slots/SlotsHarness.h"

#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "runtime/loop/ChildWait.h"
#include "slots/ExtFactory.h"
#include "tests/support/FreshBoard.h"

namespace {

// Value notation on one line: "tonec : { timestamp 5, event ced : NULL}".
std::string OneLine(const std::string& notation) {
  std::string line;
  for (char c : notation) {
    if (c == '\n' || (c == ' ' && !line.empty() && line.back() == ' ')) {
      continue;
    }
    line += c;
  }
  return line;
}

std::string Describe(const LGCP::Message& message) {
  std::string text;
  if (message.has_seq()) {
    text += "#" + std::to_string(message.get_seq().getValue()) + " ";
  }
  text += message.has_slot() ? std::to_string(message.get_slot().getValue()) : std::string("-");
  const LGCP::PDU& pdu = message.get_pdu();
  if (!pdu.is_response()) {
    return text + " " + OneLine(pdu.get_signal().asValueNotation());
  }
  const LGCP::Response& response = pdu.get_response();
  if (response.is_success()) {
    return text + " success";
  }
  return text + " error " + response.get_error().getName();
}

}  // namespace

std::vector<std::string>& Journal() {
  static std::vector<std::string> journal;
  return journal;
}

bool ProbeSlot::Noted(const char* hook, bool result) const {
  Journal().push_back(std::string(hook) + " " + std::to_string(GetId()));
  return result;
}

bool ProbeSlot::IBeforeDestroy() {
  if (options_.released_in_hook) {
    // The release deletes this probe: the answer must be read before it.
    const bool answer = options_.answer_after_release;
    Noted("IBeforeDestroy", answer);
    on_release();
    return answer;
  }
  return Noted("IBeforeDestroy", !options_.winds_down);
}

ProbeFactory& ProbeFactory::instance() {
  static ProbeFactory factory;
  return factory;
}

std::unique_ptr<Slot> ProbeFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!takes_ext || !params.is_ext()) {
    return nullptr;
  }
  const LGCP::ExtParams& ext = params.get_ext();
  return std::make_unique<ProbeSlot>(ext.get_transmitter().getValue(), ext.get_receiver().getValue(), next);
}

void ProbeFactory::Query(LGCP::Resources& resources) {
  resources.set_modem(resources.get_modem().getValue() + 3);
}

void ProbeFactory::SelfSignal(const LGCP::Signal& signal) {
  Journal().push_back("SelfSignal " + std::to_string(signal.currentSelection()));
}

bool SlotsTest::Rewriter::OnCommand(const LGCP::Command& command) {
  if (!connect_target || !command.is_connect()) {
    return false;
  }
  LGCP::Command rewritten;
  rewritten.select_connect() = *connect_target;
  return Slots::instance().OnCommand(rewritten);
}

void SlotsTest::Rewriter::OnSignal(const LGCP::Signal& signal) {
  if (journal_signals) {
    Journal().push_back("signal " + std::to_string(signal.currentSelection()));
  }
}

void SlotsTest::ReapChildren() {
  static const bool active = [] {
    ChildWait::Activate();
    return true;
  }();
  static_cast<void>(active);
}

void SlotsTest::SetUp() {
  // The factories and devices that slot kinds hold for the whole process stay
  // open, so the board is set up once; every test reads only the requests made
  // since it began. The real ext factory is built before the probes, so that
  // the probes take ext creates unless a test turns them off.
  static const bool board_ready = [] {
    test_support::FreshBoard();
    test_support::ReopenSwitch();
    (void)ExtFactory::instance();
    (void)ProbeFactory::instance();
    return true;
  }();
  (void)board_ready;
  platform::clock_control::SkipSleeps(true);
  hal_ = sim::Board::instance().Find<sim::HalDriver>(sim::HalDriver::kPath);
  ASSERT_NE(hal_, nullptr);
  Switch().ClearRequests();
  Journal().clear();
  ProbeFactory::instance().next = {};
  ProbeFactory::instance().takes_ext = true;
  saved_cerr_ = std::cerr.rdbuf(errors_.rdbuf());

  link_ = std::make_unique<ctrlsrv_test::ControllerLink>();
  link_->server.Bind(&rewriter_);
  link_->server.Bind(&Slots::instance());
  link_->Connect();
}

void SlotsTest::TearDown() {
  link_.reset();
  std::cerr.rdbuf(saved_cerr_);
  platform::clock_control::SkipSleeps(false);
}

void SlotsTest::DropController() {
  link_->server.Deactivate();
}

std::vector<std::string> SlotsTest::Send(std::optional<unsigned> slot, const Fill& fill, std::optional<int> seq) {
  // The fill selects the command it sends in place of the query.
  LGCP::Message message = ctrlsrv_test::Command(ctrlsrv_test::kQuery, seq, slot);
  fill(message.get_pdu().get_command());
  link_->Send(message);
  return Received();
}

std::vector<std::string> SlotsTest::Received() {
  std::vector<std::string> lines;
  for (const ctrlsrv_test::Bytes& payload : link_->ReceivedPayloads()) {
    LGCP::Message message;
    EXPECT_TRUE(ctrlsrv_test::Decode(payload, message));
    lines.push_back(Describe(message));
  }
  return lines;
}

std::vector<std::string> SlotsTest::CreateTrunk(unsigned slot, unsigned trunk, unsigned timeslot, bool bri) {
  return Send(slot, [&](LGCP::Command& command) {
    LGCP::CreateParams& create = command.select_create();
    LGCP::TrunkParams& params = bri ? create.select_trunk_bri() : create.select_trunk();
    params.set_trunk(trunk);
    params.set_timeslot(timeslot);
  });
}

std::vector<std::string> SlotsTest::CreateProbe(unsigned slot, int transmit, int receive, ProbeOptions options) {
  ProbeFactory::instance().next = options;
  return Send(slot, [&](LGCP::Command& command) {
    LGCP::ExtParams& ext = command.select_create().select_ext();
    ext.set_transmitter(transmit);
    ext.set_receiver(receive);
  });
}

std::vector<std::string> SlotsTest::Connect(unsigned source, unsigned listener) {
  return Send(source, [&](LGCP::Command& command) { command.select_connect() = listener; });
}

std::vector<std::string> SlotsTest::Disconnect(unsigned slot) {
  return Send(slot, [](LGCP::Command& command) { command.select_disconnect(); });
}

std::vector<std::string> SlotsTest::Destroy(unsigned slot, std::optional<int> seq) {
  return Send(
      slot, [](LGCP::Command& command) { command.select_destroy(); }, seq);
}
