#pragma once

#include <ctime>
#include <streambuf>
#include <string>

// A standard stream's buffer that writes hourly log files in one folder, named
// after the local date and hour ("2025_01_24-19.log"). Each line starts with the
// minute, second and microsecond of the flush that wrote it. The files are
// close-on-exec, so child programs do not inherit them; a flush is one write.
class LogFileStreamBuf : public std::basic_streambuf<char> {
 public:
  explicit LogFileStreamBuf(const std::string& directory);
  LogFileStreamBuf(const LogFileStreamBuf&) = delete;
  LogFileStreamBuf& operator=(const LogFileStreamBuf&) = delete;
  ~LogFileStreamBuf() override;

 protected:
  int sync() override;
  int_type overflow(int_type c) override;

 private:
  void OpenFile(const tm& now);
  void CloseFile();
  void Write(const char* begin, const char* end);
  // Writes what the flush gathered; 0, or -1 when the file took not all of it.
  int WritePending();

  int fd_ = -1;
  std::string pending_;
  std::string directory_;
  // The hour of the open file, and its day: the same hour of another day is another file.
  int hour_ = -1;
  int day_ = -1;
  int year_ = -1;
  // The previous flush ended inside a line, which the next one continues.
  bool line_open_ = false;
  char area_[16];
};
