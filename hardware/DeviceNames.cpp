#include "hardware/DeviceNames.h"

#include <execinfo.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>

const char* GetVoiceDevName() {
  return "/dev/voice";
}
const char* GetMixerDevName() {
  return "/dev/mixer";
}
const char* GetDTMFDevName() {
  return "/dev/dtmf";
}
const char* GetDSPDevName() {
  return "/dev/dsp";
}
const char* GetRtpDevName() {
  return "/dev/rtp";
}
const char* GetRtpExtDevName() {
  return "/dev/rtp_ext";
}
const char* GetModemDevName() {
  return "/dev/mctl";
}
const char* GetMaintenance() {
  return "/dev/maintenance";
}
const char* GetSpiTdmDevName() {
  return "/dev/spi_tdm";
}
const char* GetUsbTdmDevName() {
  return "/dev/usb_tdm";
}

const char* GetCodecAsStr(int code) {
  static const char* const kNames[] = {"unknown",  "g711",     "g723",     "g729", "tonec",
                                       "g711-rtp", "g729-rtp", "g723-rtp", "conf"};
  // Compared unsigned, so a negative code is invalid too.
  const auto index = static_cast<unsigned>(code);
  return index < sizeof kNames / sizeof kNames[0] ? kNames[index] : "invalid";
}

void print_trace() {
  void* frames[10];
  const int count = backtrace(frames, 10);
  char** symbols = backtrace_symbols(frames, count);
  std::printf("Obtained %zd stack frames.\n", static_cast<ssize_t>(count));
  for (int i = 0; symbols != nullptr && i < count; ++i) {
    std::printf("%s\n", symbols[i]);
  }
  std::free(symbols);
}
