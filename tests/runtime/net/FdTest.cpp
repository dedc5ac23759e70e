#include "runtime/net/Fd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool IsOpen(int fd) {
  return fcntl(fd, F_GETFD) >= 0;
}

bool HasCloexec(int fd) {
  return (fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0;
}

TEST(Fd, ClosesWhatItOwnsExactlyOnce) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[1]);
  {
    Fd owner(fds[0]);
    Fd moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_TRUE(moved);
  }
  EXPECT_FALSE(IsOpen(fds[0]));
}

TEST(Fd, CopiesAreCloseOnExecDuplicates) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[1]);
  ASSERT_FALSE(HasCloexec(fds[0]));
  Fd original(fds[0]);
  Fd copy(original);
  Fd assigned;
  assigned = original;
  for (const Fd* fd : {&copy, &assigned}) {
    ASSERT_TRUE(*fd);
    EXPECT_NE(fd->get(), original.get());
    EXPECT_TRUE(HasCloexec(fd->get()));
  }
  int raw = copy.get();
  EXPECT_EQ(copy.close(), 0);
  EXPECT_FALSE(IsOpen(raw));
  EXPECT_TRUE(IsOpen(original.get()));
}

}  // namespace
