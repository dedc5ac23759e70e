#include "rtp/RtpErr.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

RtpErr::RtpErr(int code) : error_(errno), code_(code) {}

void RtpErr::Put(std::ostream& os) const {
  os << std::strerror(error_);
}

const char* RTPStrError(int code) {
  struct Text {
    int code;
    const char* text;
  };
  static const Text kTexts[] = {
      {0, "No error"},
      {0x03000002, "Parameter out of range"},
      {0x03000004, "Memory allocation failed"},
      {0x03000008, "Allocated buffer too small"},
      {0x03000101, "Maximum number of contexts exceeded"},
      {0x03000102, "Context destroyed or never created"},
      {0x03000103, "Socket not open for reading or writing"},
      {0x03000104, "Can't obtain a new socket"},
      {0x03000105, "Can't bind socket"},
      {0x03000106, "Unable to set socket option"},
      {0x03000107, "Unable to write to socket"},
      {0x03000108, "Unable to read from socket"},
      {0x03000109, "Socket does not belong to session"},
      {0x0300010A, "Change not allowed during open session"},
      {0x0300010B, "Invalid address specified"},
      {0x0300010C, "Invalid port specified"},
      {0x0300010E, "Unable to close session"},
      {0x0300010F, "No such membership info"},
      {0x03000110, "Invalid rtpprofile specified"},
      {0x03000111, "no data to receive at socket"},
      {0x03000112, "Packet looped back"},
      {0x03000113, "CSRC list not yet set"},
      {0x03000114, "2 CSRCs on list have same SSRC"},
      {0x03000115, "Packet has incorrect format"},
      {0x03000116, "Person not session member"},
      {0x03000117, "Person data protected"},
      {0x03000118, "No such sender in current session"},
      {0x03000119, "No such SDES field"},
      {0x0300011A, "Encryption / decryption function not set"},
      {0x0300011B, "Packet was unsuccessfully decrypted"},
      {0x0300011C, "End of iterating list"},
      {0x0300011D, "Not allowed to recurse"},
      {0x0300011E, "SSRC in use"},
      {0x0300011F, "Couldn't get socket name"},
      {0x03000120, "No such contributor"},
      {0x03000121, "CSRC list full"},
      {0x03000122, "Don't send this packet now"},
  };
  for (const Text& text : kTexts) {
    if (text.code == code) {
      return text.text;
    }
  }
  static char unknown[48];
  std::snprintf(unknown, sizeof unknown, "Unknown RTP Error %d", code);
  return unknown;
}
