#pragma once

#include <string_view>

// Sole owner of one descriptor (-1 when empty). A copy is a close-on-exec
// duplicate, so child programs never inherit what the server holds. It closes
// through platform::Close, which on the simulated board also frees what the
// board remembers of a device descriptor's number, before another takes it.
class Fd {
 public:
  Fd() = default;
  // Takes ownership of fd.
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd& other);
  Fd(Fd&& other) noexcept;
  Fd& operator=(const Fd& other);
  Fd& operator=(Fd&& other) noexcept;
  ~Fd();

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // EBADF and -1 when empty; otherwise the close() result, and the Fd is empty.
  int close();
  // A close-on-exec duplicate owned by the caller, -1 when empty or on failure.
  [[nodiscard]] int dup() const;
  [[nodiscard]] bool NonBlock() const;

 private:
  void Replace(int fd);

  int fd_ = -1;
};

// Writes the whole text, going on after short writes and interruptions; false,
// errno telling why, when the descriptor takes no more.
[[nodiscard]] bool WriteAll(int fd, std::string_view text);
[[nodiscard]] bool NonBlockMode(int fd);
[[nodiscard]] bool BlockMode(int fd);
// Returns true when setting the flag FAILED.
bool SetCloexec(int fd, bool on);
