#include "signalling/Q931FrameLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace ISDN {
namespace {

// The text being written: never past its buffer. What does not fit is cut and
// the text ends with a marker instead.
class Writer {
 public:
  Writer(char* text, size_t size) : text_(text), size_(size) { text_[0] = '\0'; }
  ~Writer() {
    if (!cut_) {
      return;
    }
    static const char kMarker[] = " ...\n";
    const size_t keep = size_ > sizeof kMarker ? std::min(used_, size_ - sizeof kMarker) : 0;
    std::snprintf(text_ + keep, size_ - keep, "%s", kMarker);
  }

  int add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (cut_) {
      return 0;
    }
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text_ + used_, size_ - used_, format, args);
    va_end(args);
    if (n < 0 || used_ + static_cast<size_t>(n) >= size_) {
      cut_ = true;
      return 0;
    }
    used_ += static_cast<size_t>(n);
    return n;
  }

 private:
  char* text_;
  size_t size_;
  size_t used_ = 0;
  bool cut_ = false;
};

// The contents of one variable-length element, within the frame.
struct Element {
  uint8_t id;
  const uint8_t* bytes;
  unsigned length;
};

int Bits(Writer& w, uint8_t byte) {
  char bits[9];
  printbits(bits, byte, 8, 8);
  bits[8] = '\0';
  return w.add("%s\n", bits);
}

// A label, then the bits of the octet on the same line.
int Octet(Writer& w, const char* label, uint8_t byte) {
  const int n = w.add("%s", label);
  return n + Bits(w, byte);
}

int Chars(Writer& w, const uint8_t* bytes, unsigned length) {
  int n = 0;
  for (unsigned i = 0; i < length; ++i) {
    // Digits and names are text; anything else would cut or garble the line.
    n += w.add("%c", bytes[i] >= 0x20 && bytes[i] < 0x7F ? bytes[i] : '.');
  }
  return n;
}

int general(Writer& w, const Element& e) {
  int n = 0;
  unsigned octet = 3;
  char letter = ' ';
  for (unsigned i = 0; i < e.length; ++i) {
    n += w.add("    octet %d%c ", octet, letter);
    n += Bits(w, e.bytes[i]);
    if ((e.bytes[i] & 0x80) != 0) {
      ++octet;
      letter = ' ';
    } else {
      letter = letter == ' ' ? 'a' : static_cast<char>(letter + 1);
    }
  }
  return n;
}

int prbearer(Writer& w, const Element& e) {
  int n = 0;
  unsigned i = 0;
  if (i < e.length) {
    n += Octet(w, "    octet 3  ", e.bytes[i++]);
  }
  if (i < e.length) {
    const bool multirate = (e.bytes[i] & 0x1F) == 0x18;
    n += Octet(w, "    octet 4  ", e.bytes[i++]);
    if (multirate && i < e.length) {
      n += Octet(w, "    octet 4.1 ", e.bytes[i++]);
    }
  }
  auto layer = [&](unsigned i) { return i < e.length ? (e.bytes[i] >> 5) & 3 : 0u; };
  for (char letter = ' '; layer(i) == 1; letter = letter == ' ' ? 'a' : static_cast<char>(letter + 1)) {
    const uint8_t octet = e.bytes[i++];
    n += w.add("    octet 5%c ", letter);
    n += Bits(w, octet);
    if ((octet & 0x80) != 0) {
      break;
    }
  }
  if (layer(i) == 2) {
    n += Octet(w, "    octet 6  ", e.bytes[i++]);
  }
  if (layer(i) == 3) {
    n += Octet(w, "    octet 7  ", e.bytes[i++]);
  }
  return n;
}

struct Cause {
  uint8_t value;
  const char* text;
};
const Cause cvlist[] = {
    {0x01, "Unallocated (unassigned) number"},
    {0x02, "No route to specified transit network"},
    {0x03, "No route to destination"},
    {0x04, "Send special information tone"},
    {0x05, "Misdialled trunk prefix"},
    {0x06, "Channel unacceptable"},
    {0x07, "Channel awarded and being delivered in an established channel"},
    {0x08, "Preemption"},
    {0x09, "Preemption - circuit reserved for reuse"},
    {0x10, "Normal call clearing"},
    {0x11, "User busy"},
    {0x12, "No user responding"},
    {0x13, "No answer from user (user alerted)"},
    {0x14, "Subscriber absent"},
    {0x15, "Call rejected"},
    {0x16, "Number changed"},
    {0x1A, "non-selected user clearing"},
    {0x1B, "Destination out of order"},
    {0x1C, "Invalid number format (address incomplete)"},
    {0x1D, "Facility rejected"},
    {0x1E, "Response to Status enquiry"},
    {0x1F, "Normal, unspecified"},
    {0x22, "No circuit/channel available"},
    {0x26, "Network out of order"},
    {0x27, "Permanent frame mode connection out-of-service"},
    {0x28, "Permanent frame mode connection operational"},
    {0x29, "Temporary failure"},
    {0x2A, "Switching equipment congestion"},
    {0x2B, "Access information discarded"},
    {0x2C, "Requested circuit/channel not available"},
    {0x2E, "Precedence call blocked"},
    {0x2F, "Resource unavailable, unspecified"},
    {0x31, "Quality of service unavailable"},
    {0x32, "Requested facility not subscribed"},
    {0x35, "Outgoing calls barred within CUG"},
    {0x37, "Incoming calls barred within CUG"},
    {0x39, "Bearer capability not authorized"},
    {0x3A, "Bearer capability not presently available"},
    {0x3E, "Inconsistency in designated outgoing access information and subscriber class "},
    {0x3F, "Service or option not available, unspecified"},
    {0x41, "Bearer capability not implemented"},
    {0x42, "Channel type not implemented"},
    {0x43, "Requested facility not implemented"},
    {0x44, "Only restricted digital information bearer capability is available"},
    {0x4F, "Service or option not implemented"},
    {0x51, "Invalid call reference value"},
    {0x52, "Identified channel does not exist"},
    {0x53, "A suspended call exists, but this call identity does not"},
    {0x54, "Call identity in use"},
    {0x55, "No call suspended"},
    {0x56, "Call having the requested call identity has been cleared"},
    {0x57, "User not member of CUG"},
    {0x58, "Incompatible destination"},
    {0x5A, "Non-existent CUG"},
    {0x5B, "Invalid transit network selection"},
    {0x5F, "Invalid message, unspecified"},
    {0x60, "Mandatory information element is missing"},
    {0x61, "Message type non-existent or not implemented"},
    {0x62, "Message not compatible with call state or message type non-existent or not implemented "},
    {0x63, "Information element/parameter non-existent or not implemented"},
    {0x64, "Invalid information element contents"},
    {0x65, "Message not compatible with call state"},
    {0x66, "Recovery on timer expiry"},
    {0x67, "Parameter non-existent or not implemented - passed on"},
    {0x6E, "Message with unrecognized parameter discarded"},
    {0x6F, "Protocol error, unspecified"},
    {0x7F, "Interworking, unspecified"},
};

int prcause(Writer& w, const Element& e) {
  if (e.length == 0) {
    return 0;
  }
  char bits[9] = {};
  printbits(bits, e.bytes[0], 7, 2);
  int n = w.add("    coding %s", bits);
  std::memset(bits, 0, sizeof bits);
  printbits(bits, e.bytes[0], 4, 4);
  n += w.add(" location %s\n", bits);
  const unsigned value_at = static_cast<unsigned>(skipext(e.bytes, e.bytes + e.length) - e.bytes);
  if (value_at >= e.length) {
    return n;
  }
  const unsigned value = e.bytes[value_at] & 0x7Fu;
  const auto* cause =
      std::find_if(std::begin(cvlist), std::end(cvlist), [&](const Cause& c) { return c.value == value; });
  n += cause != std::end(cvlist) ? w.add("  cause value %x : %s \n", value, cause->text)
                                 : w.add("Unknown cause type %x!\n", value);
  for (unsigned i = value_at + 1; i < e.length;) {
    n += w.add("    diag attribute %d ", e.bytes[i] & 0x7F);
    if (++i >= e.length) {
      n += w.add("\n");
      break;
    }
    n += w.add(" rej %d ", e.bytes[i] & 0x7F);
    if ((e.bytes[i] & 0x80) != 0) {
      n += w.add("\n");
      break;
    }
    if (++i >= e.length) {
      n += w.add("\n");
      break;
    }
    n += w.add(" av %d\n", e.bytes[i]);
  }
  return n;
}

int prchident(Writer& w, const Element& e) {
  return e.length == 0 ? 0 : Octet(w, "    octet 3 ", e.bytes[0]);
}

int prfacility(Writer& w, const Element& e) {
  if (e.length == 0) {
    return 0;
  }
  int n = Octet(w, "    octet 3 ", e.bytes[0]);
  for (unsigned i = 1; i < e.length;) {
    n += Octet(w, "   octet 4 ", e.bytes[i++]);
    if (i >= e.length) {
      break;
    }
    const unsigned stated = e.bytes[i++] & 0x7Fu;
    const unsigned count = std::min(stated, e.length - i);
    n += w.add("   octet 5 %d\n", stated);
    n += w.add("   contents ");
    for (unsigned k = 0; k < count; ++k) {
      n += w.add("%2x ", e.bytes[i++]);
    }
    n += w.add("\n");
  }
  return n;
}

int display(Writer& w, const Element& e) {
  int n = w.add("   \"");
  n += Chars(w, e.bytes, e.length);
  return n + w.add("\"\n");
}

int Digits(Writer& w, const uint8_t* bytes, unsigned length) {
  int n = w.add("    number digits ");
  n += Chars(w, bytes, length);
  return n + w.add("\n");
}

int prcalling(Writer& w, const Element& e) {
  if (e.length == 0) {
    return 0;
  }
  int n = Octet(w, "    octet 3 ", e.bytes[0]);
  unsigned i = 1;
  if ((e.bytes[0] & 0x80) == 0 && i < e.length) {
    n += Octet(w, "    octet 3a ", e.bytes[i++]);
  }
  return n + Digits(w, e.bytes + i, e.length - i);
}

int prcalled(Writer& w, const Element& e) {
  if (e.length == 0) {
    return 0;
  }
  const int n = Octet(w, "    octet 3 ", e.bytes[0]);
  return n + Digits(w, e.bytes + 1, e.length - 1);
}

struct MessageType {
  uint8_t type;
  const char* name;
};
const MessageType mtlist[] = {
    {0x01, "ALERTING"},
    {0x02, "CALL PROCEEDING"},
    {0x07, "CONNECT"},
    {0x0F, "CONNECT ACKNOWLEDGE"},
    {0x03, "PROGRESS"},
    {0x05, "SETUP"},
    {0x0D, "SETUP ACKNOWLEDGE"},
    {0x24, "HOLD"},
    {0x28, "HOLD ACKNOWLEDGE"},
    {0x30, "HOLD REJECT"},
    {0x31, "RETRIEVE"},
    {0x33, "RETRIEVE ACKNOWLEDGE"},
    {0x37, "RETRIEVE REJECT"},
    {0x26, "RESUME"},
    {0x2E, "RESUME ACKNOWLEDGE"},
    {0x22, "RESUME REJECT"},
    {0x25, "SUSPEND"},
    {0x2D, "SUSPEND ACKNOWLEDGE"},
    {0x21, "SUSPEND REJECT"},
    {0x20, "USER INFORMATION"},
    {0x45, "DISCONNECT"},
    {0x4D, "RELEASE"},
    {0x5A, "RELEASE COMPLETE"},
    {0x46, "RESTART"},
    {0x4E, "RESTART ACKNOWLEDGE"},
    {0x60, "SEGMENT"},
    {0x79, "CONGESTION CONTROL"},
    {0x7B, "INFORMATION"},
    {0x62, "FACILITY"},
    {0x6E, "NOTIFY"},
    {0x7D, "STATUS"},
    {0x75, "STATUS ENQUIRY"},
};

struct ElementType {
  uint8_t id;
  const char* name;
  int (*printer)(Writer&, const Element&);
};
const ElementType ielist[] = {
    {0x00, "Segmented message", general},
    {0x04, "Bearer capability", prbearer},
    {0x08, "Cause", prcause},
    {0x10, "Call identity", general},
    {0x14, "Call state", general},
    {0x18, "Channel identification", prchident},
    {0x1C, "Facility", prfacility},
    {0x1E, "Progress indicator", general},
    {0x20, "Network-specific facilities", general},
    {0x27, "Notification indicator", general},
    {0x28, "Display", display},
    {0x29, "Date/Time", general},
    {0x2C, "Keypad facility", general},
    {0x34, "Signal", general},
    {0x40, "Information rate", general},
    {0x42, "End-to-end delay", general},
    {0x43, "Transit delay selection and indication", general},
    {0x44, "Packet layer binary parameters", general},
    {0x45, "Packet layer window size", general},
    {0x46, "Packet size", general},
    {0x47, "Closed user group", general},
    {0x4A, "Reverse charge indication", general},
    {0x6C, "Calling party number", prcalling},
    {0x6D, "Calling party subaddress", general},
    {0x70, "Called party number", prcalled},
    {0x71, "Called party subaddress", general},
    {0x74, "Redirecting number", general},
    {0x78, "Transit network selection", general},
    {0x79, "Restart indicator", general},
    {0x7C, "Low layer compatibility", general},
    {0x7D, "High layer compatibility", general},
    {0x7E, "User-user", general},
    {0x7F, "Escape for extension", general},
};

void SingleOctet(Writer& w, uint8_t byte) {
  switch ((byte >> 4) & 7) {
    case 2:
      if (byte == 0xA0) {
        w.add("  More data\n");
      } else if (byte == 0xA1) {
        w.add("  Sending complete\n");
      }
      return;
    case 1:
      w.add("  Shift %x\n", byte & 0x0F);
      return;
    case 3:
      w.add("  Congestion level %x\n", byte & 0x0F);
      return;
    case 5:
      w.add("  Repeat indicator %x\n", byte & 0x0F);
      return;
    default:
      w.add("  Reserved %x\n", byte);
      return;
  }
}

// Call reference, message type and elements of a Q.931 message.
void Layer3(Writer& w, const uint8_t* l3, unsigned length) {
  if (length == 0) {
    w.add("frame too short\n");
    return;
  }
  if (l3[0] != 8) {
    w.add("Unknown protocol %x!", l3[0]);
    return;
  }
  // [discriminator] [length] [flag|value ...] [type]: a length of 0 is the dummy call reference.
  const unsigned cr_length = length > 1 ? l3[1] : 0;
  if (length < 3 + cr_length || cr_length > 4) {
    w.add("frame too short\n");
    return;
  }
  const bool flag = cr_length != 0 && (l3[2] & 0x80) != 0;
  unsigned long value = 0;
  for (unsigned i = 0; i < cr_length; ++i) {
    value = value << 8 | (i == 0 ? l3[2] & 0x7Fu : l3[2 + i]);
  }
  const uint8_t type = l3[2 + cr_length];
  const auto* found =
      std::find_if(std::begin(mtlist), std::end(mtlist), [&](const MessageType& m) { return m.type == type; });
  if (found != std::end(mtlist)) {
    w.add("callref %lu %s size %d message type %s\n", value, flag ? "called" : "caller", length, found->name);
  } else {
    w.add("callref %lu %s size %d unknown message type %x!\n", value, flag ? "called" : "caller", length, type);
  }
  for (unsigned i = 3 + cr_length; i < length;) {
    const uint8_t id = l3[i];
    if ((id & 0x80) != 0) {
      SingleOctet(w, id);
      ++i;
      continue;
    }
    if (i + 2 > length || i + 2 + l3[i + 1] > length) {
      w.add("  element %x truncated\n", id);
      return;
    }
    const Element element{id, l3 + i + 2, l3[i + 1]};
    const auto* known =
        std::find_if(std::begin(ielist), std::end(ielist), [&](const ElementType& t) { return t.id == id; });
    if (known != std::end(ielist)) {
      w.add("  %s\n", known->name);
      known->printer(w, element);
    } else {
      w.add("  attribute %x attribute size %d\n", id, element.length);
    }
    i += 2 + element.length;
  }
}

}  // namespace

int printbits(char* text, uint8_t byte, int first, int count) {
  for (int i = 0; i < count; ++i) {
    text[i] = ((byte >> (first - 1 - i)) & 1) != 0 ? '1' : '0';
  }
  return count;
}

const uint8_t* skipext(const uint8_t* octet, const uint8_t* end) {
  while (octet < end && (*octet & 0x80) == 0) {
    ++octet;
  }
  return octet < end ? octet + 1 : end;
}

void dlogframe(const uint8_t* frame, unsigned length, int direction, char* text, size_t size) {
  if (size == 0) {
    return;
  }
  Writer w(text, size);
  if (length < 3) {
    return;
  }
  for (unsigned i = 0; i < length; ++i) {
    w.add(" %02X", frame[i]);
  }
  w.add("\n");
  w.add("frame %s ", direction != 0 ? "network->user" : "user->network");
  const unsigned sapi = frame[0] >> 2;
  const unsigned tei = frame[1] >> 1;
  const uint8_t control = frame[2];
  unsigned l3 = 0;
  if (tei == 127) {
    if (sapi == 63) {
      w.add("tei management:\n");
      return;
    }
    if (sapi != 0) {
      w.add("unknown sapi %d broadcast\n", sapi);
      return;
    }
    if (control != 3) {
      w.add("no UI broadcast\n");
      return;
    }
    w.add("broadcast\n");
    l3 = 3;
  } else if (sapi != 0) {
    w.add("unknown sapi = %d; tei = %d\n", sapi, tei);
    return;
  } else if ((control & 1) != 0) {
    w.add("SFrame tei = %d (", tei);
    for (unsigned i = 2; i < length; ++i) {
      w.add("%02X ", frame[i]);
    }
    w.add(")\n");
    return;
  } else {
    w.add("IFrame tei = %d\n", tei);
    l3 = 4;
  }
  Layer3(w, frame + l3, length > l3 ? length - l3 : 0);
}

}  // namespace ISDN
