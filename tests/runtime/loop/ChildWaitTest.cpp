#include "runtime/loop/ChildWait.h"

#include "runtime/loop/Multiplexer.h"
#include "runtime/loop/Signal.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Hears of its child's exit.
struct Owner {
  void OnExit(int status) {
    ++told;
    last_status = status;
    if (on_exit) {
      on_exit(*this);
    }
  }
  ChildWait wait;
  int pid = 0;
  int told = 0;
  int last_status = -1;
  std::function<void(Owner&)> on_exit;
};

int StartChild(int exit_code) {
  int pid = fork();
  if (pid == 0) {
    _exit(exit_code);
  }
  return pid;
}

// Starts count children, child i exiting with exit_code(i), each watched by an owner of its own, and runs the loop
// until every owner has been told.
std::vector<std::unique_ptr<Owner>> RunChildren(int count, const std::function<int(int)>& exit_code) {
  std::vector<std::unique_ptr<Owner>> owners;
  int told = 0;
  for (int i = 0; i < count; ++i) {
    owners.push_back(std::make_unique<Owner>());
    Owner& owner = *owners.back();
    owner.wait.Bind(&owner, &Owner::OnExit);
    owner.on_exit = [&told, count](Owner&) {
      if (++told == count) {
        multiplexer.terminate();
      }
    };
    owner.pid = StartChild(exit_code(i));
    if (owner.pid <= 0) {
      ADD_FAILURE() << "fork failed";
      return owners;
    }
    owner.wait.Attach(owner.pid);
  }
  multiplexer.run(false, true);
  // The count dies here: an owner told twice must not reach it.
  for (const auto& owner : owners) {
    owner->on_exit = nullptr;
  }
  return owners;
}

class ChildWaitTest : public ::testing::Test {
 protected:
  void SetUp() override { ChildWait::Activate(); }
  void TearDown() override {
    IPC::Signal::system(SIGCHLD);
    // A fresh, inactive service: the loop is left with nothing registered.
    ChildWait::Cleanup();
    ChildWait::Initialize();
  }

  control_test::Logs logs_;
};

// Far more exits than the exit queue holds arrive at once: the signal handler
// must neither block on the full queue nor lose an exit.
TEST_F(ChildWaitTest, BurstOfChildrenEachOwnerToldOnceWithItsStatus) {
  constexpr int kChildren = 300;
  const std::vector<std::unique_ptr<Owner>> owners = RunChildren(kChildren, [](int i) { return i % 256; });
  for (int i = 0; i < kChildren; ++i) {
    SCOPED_TRACE(i);
    const Owner& owner = *owners[static_cast<size_t>(i)];
    EXPECT_EQ(owner.told, 1);
    ASSERT_TRUE(WIFEXITED(owner.last_status));
    EXPECT_EQ(WEXITSTATUS(owner.last_status), i % 256);
  }
  EXPECT_NE(logs_.Log().find("terminate child process, pid=" + std::to_string(owners[7]->pid) +
                             " status=" + std::to_string(7 << 8) + "\n"),
            std::string::npos);
}

TEST_F(ChildWaitTest, HandlerMayWaitForANewChild) {
  Owner owner;
  owner.wait.Bind(&owner, &Owner::OnExit);
  owner.on_exit = [](Owner& o) {
    if (o.told == 1) {
      o.pid = StartChild(9);
      o.wait.Attach(o.pid);
      return;
    }
    multiplexer.terminate();
  };
  owner.pid = StartChild(8);
  owner.wait.Attach(owner.pid);
  multiplexer.run(false, true);
  EXPECT_EQ(owner.told, 2);
  EXPECT_EQ(WEXITSTATUS(owner.last_status), 9);
}

}  // namespace
