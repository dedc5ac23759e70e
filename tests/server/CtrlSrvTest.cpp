#include "server/CtrlSrv.h"

#include "tests/server/ControllerLink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ctrlsrv_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Cause = LGCP::ErrorCause;
using Step = std::function<void(FakeService&)>;
using Strings = std::vector<std::string>;

LGCP::Signal Activated() {
  LGCP::Signal signal;
  signal.select_activated();
  return signal;
}

const Step kSuccess = [](FakeService& s) { s.Success(); };
const Step kDelay = [](FakeService& s) { static_cast<void>(s.delayResponse()); };
Step Fail(Cause::NamedNumber cause) {
  return [cause](FakeService& s) { s.Error(cause); };
}

bool TakeAndSucceed(FakeService& s, const LGCP::Command&) {
  s.Success();
  return true;
}

// One service, "A", bound to a connected link; its journal starts after the connect.
struct OneService {
  explicit OneService(FakeService::Reaction reaction = {}) : service("A", journal) {
    service.reaction = std::move(reaction);
    link.server.Bind(&service);
    link.Connect();
    journal.clear();
  }

  ControllerLink link;
  Strings journal;
  FakeService service;
};

TEST(CtrlSrvServer, OffersCommandsInBindOrderAndShowsSignalsToTheOthers) {
  ControllerLink link;
  Strings journal;
  FakeService first("A", journal), second("B", journal), third("C", journal);
  // B takes destroy alone, and signals before it answers.
  second.reaction = [](FakeService& s, const LGCP::Command& c) {
    if (!c.is_destroy()) {
      return false;
    }
    s.SendSignal(Activated());
    s.Success();
    return true;
  };
  for (FakeService* service : {&first, &second, &third}) {
    link.server.Bind(service);
  }
  link.Connect();
  journal.clear();

  link.Send(Command(kQuery, 2));
  link.Send(Command(kDestroy, 7, 5));
  second.SendSignal(Activated());
  second.SendSignal(12, Activated());

  EXPECT_THAT(journal, ElementsAre("A command 0", "B command 0", "C command 0", "A command 5", "B command 5",
                                   "A signal 5", "C signal 5", "A signal 5", "C signal 5", "A signal 5", "C signal 5"));
  // Signals never carry a seq; outside a command the one-argument form has no slot to give.
  EXPECT_THAT(link.Received(),
              ElementsAre("seq=2 error 4", "slot=5 signal 5", "seq=7 slot=5 success", "signal 5", "slot=12 signal 5"));
}

TEST(CtrlSrvServer, AnswersEachCommandOnce) {
  const struct {
    const char* name;
    bool taken;
    std::vector<Step> steps;
    Strings answers;
  } kCases[] = {
      {"success", true, {kSuccess}, {"seq=7 slot=5 success"}},
      {"second success dropped", true, {kSuccess, kSuccess}, {"seq=7 slot=5 success"}},
      {"error after success sent",
       true,
       {kSuccess, Fail(Cause::slotNotExists)},
       {"seq=7 slot=5 success", "seq=7 slot=5 error 3"}},
      {"second error dropped", true, {Fail(Cause::slotNotExists), Fail(Cause::busError)}, {"seq=7 slot=5 error 3"}},
      {"success after error dropped", true, {Fail(Cause::busError), kSuccess}, {"seq=7 slot=5 error 10"}},
      {"delayed: nothing now", true, {kDelay}, {}},
      {"success after delay dropped", true, {kDelay, kSuccess}, {}},
      {"error after delay sent", true, {kDelay, Fail(Cause::busError)}, {"seq=7 slot=5 error 10"}},
      {"taken but unanswered", true, {}, {"seq=7 slot=5 error 5"}},
      {"taken by nobody", false, {}, {"seq=7 slot=5 error 4"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    OneService one([&c](FakeService& s, const LGCP::Command&) {
      for (const Step& step : c.steps) {
        step(s);
      }
      return c.taken;
    });
    Capture errors(std::cerr);

    one.link.Send(Command(kDestroy, 7, 5));

    EXPECT_EQ(one.link.Received(), c.answers);
    const bool silent = c.taken && c.steps.empty();
    EXPECT_EQ(errors.Text().find("ctrl [controller]: software error: server do NOT send ack!!!\n") != std::string::npos,
              silent);
  }
}

TEST(CtrlSrvServer, DelayedSuccessCarriesTheDelayedCommandsNumbers) {
  const struct {
    const char* name;
    std::optional<int32_t> seq;
    const char* answer;
  } kCases[] = {
      {"with seq", 7, "seq=7 slot=5 success"},
      {"with seq -1", -1, "seq=-1 slot=5 success"},
      {"without seq", std::nullopt, "slot=5 success"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CtrlSrv::DelayedSeq kept;
    unsigned kept_slot = CtrlSrv::kNoSlot;
    OneService one([&](FakeService& s, const LGCP::Command& command) {
      if (command.is_destroy()) {
        kept = s.delayResponse();
        kept_slot = s.GetSlot();
      } else {
        s.Success();
      }
      return true;
    });

    one.link.Send(Command(kDestroy, c.seq, 5));
    // Another command in between: the delayed answer must not take its numbers.
    one.link.Send(Command(kQuery, 8, 6));
    one.service.delayedSuccess(kept_slot, kept);

    EXPECT_THAT(one.link.Received(), ElementsAre("seq=8 slot=6 success", c.answer));
  }
}

TEST(CtrlSrvServer, OffersOnlyCommandsWithASlotInRangeAndKeepsServing) {
  LGCP::Message response = Command(kDestroy, 9, 3);
  response.get_pdu().select_response().select_success();
  LGCP::Message signal = Command(kDestroy, 9, 3);
  signal.get_pdu().select_signal() = Activated();
  // Destroy commands with seq 1 are written by hand: the slot number is 16 aligned bits, so the wire can carry
  // more than the schema's range.
  const struct {
    const char* name;
    Bytes payload;
    Strings answers;
    bool offered;
    const char* error_line;  // the logged hex, when the payload does not decode
  } kCases[] = {
      {"response", Encode(response), {"seq=9 error 4"}, false, nullptr},
      {"signal", Encode(signal), {"seq=9 error 4"}, false, nullptr},
      {"slot 1023", {0xC0, 0x01, 0x01, 0x03, 0xFF, 0x0A}, {"seq=1 slot=1023 success"}, true, nullptr},
      {"slot 1024", {0xC0, 0x01, 0x01, 0x04, 0x00, 0x0A}, {"seq=1 error 2"}, false, nullptr},
      {"slot 65535", {0xC0, 0x01, 0x01, 0xFF, 0xFF, 0x0A}, {"seq=1 error 2"}, false, nullptr},
      {"empty", {}, {}, false, " msg: \n"},
      {"cut after the slot", {0xC0, 0x01, 0x01, 0x00, 0x05}, {}, false, " msg: C0 01 01 00 05 \n"},
      {"pdu index 3", {0x30}, {}, false, " msg: 30 \n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    OneService one(TakeAndSucceed);
    Capture errors(std::cerr);

    one.link.SendPayload(c.payload);

    EXPECT_EQ(one.link.Received(), c.answers);
    EXPECT_EQ(!one.journal.empty(), c.offered);
    if (c.error_line != nullptr) {
      EXPECT_THAT(errors.Text(),
                  HasSubstr(std::string("ctrl [controller]: receive fail: decode error!\n") + c.error_line));
    }
    one.link.Send(Command(kDestroy, 2, 1));
    EXPECT_THAT(one.link.Received(), ElementsAre("seq=2 slot=1 success"));
  }
}

TEST(CtrlSrvService, BindingEndsWithEitherSide) {
  Strings journal;
  FakeService survivor("A", journal);
  {
    ControllerLink link;
    {
      FakeService gone("B", journal);
      link.server.Bind(&gone);
      link.server.Bind(&survivor);
    }
    link.Connect();
    link.Send(Command(kQuery, 1));
    EXPECT_THAT(link.Received(), ElementsAre("seq=1 error 4"));
  }
  // The server went first: the service is unbound again.
  Capture errors(std::cerr);
  survivor.Success();
  EXPECT_THAT(journal, ElementsAre("A connect", "A command 0", "A disconnect"));
  EXPECT_EQ(errors.Text(), "CtrlSrv::Service error! service not connected to server.\n");
}

}  // namespace
}  // namespace ctrlsrv_test
