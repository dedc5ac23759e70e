#pragma once

#include <ostream>

// The system error of a failed RTP call, kept with the call's own code.
class RtpErr {
 public:
  explicit RtpErr(int code);

  // The system's text of the saved errno.
  void Put(std::ostream& os) const;

  int error() const { return error_; }
  int code() const { return code_; }

 private:
  int error_;
  int code_;
};

// The text of an RTP error code. An unknown code is formatted into one
// buffer, which the next unknown code overwrites.
const char* RTPStrError(int code);
