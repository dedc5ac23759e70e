#include "monitoring/trap/SnmpTrap.h"

// net-snmp's headers need its configuration and types first.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <net-snmp/library/asn1.h>
#include <net-snmp/library/snmp.h>

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kDefaultCommunity[] = "tavrik";
constexpr uint8_t kSequence = 0x30;
constexpr size_t kMaxTextLength = 127;
// net-snmp's own bound on the sub-identifiers of a name.
constexpr size_t kMaxSubIdentifiers = MAX_OID_LEN;

// Value types of the SNMP structure of management information (RFC 2578).
enum ValueType : uint8_t {
  kInteger = 0x02,
  kBitString = 0x03,
  kOctetString = 0x04,
  kNull = 0x05,
  kObjectIdentifier = 0x06,
  kIpAddress = 0x40,
  kCounter32 = 0x41,
  kGauge32 = 0x42,
  kTimeTicks = 0x43,
  kOpaque = 0x44,
  kNsapAddress = 0x45,
  kUInteger32 = 0x47,
};

constexpr size_t kIpAddressLength = 4;

bool IsUnsigned32(uint8_t type) {
  return type == kCounter32 || type == kGauge32 || type == kTimeTicks || type == kUInteger32;
}

bool IsOctets(uint8_t type) {
  return type == kBitString || type == kOctetString || type == kNull || type == kIpAddress || type == kOpaque ||
         type == kNsapAddress;
}

// The value as net-snmp takes it on this host: its long and oid may be wider
// than the 4 bytes a caller hands in, so numbers and sub-identifiers are
// widened first.
class WideValue {
 public:
  // False for a type outside the list or a length the type cannot have.
  [[nodiscard]] bool Assign(uint8_t type, const void* value, size_t length) {
    if (value == nullptr && length > 0) {
      return false;
    }
    // A receiver drops the whole trap over an address of any other size.
    if (type == kIpAddress && length != kIpAddressLength) {
      return false;
    }
    if (IsOctets(type)) {
      bytes_ = static_cast<const uint8_t*>(value);
      length_ = length;
      return true;
    }
    if (type == kInteger || IsUnsigned32(type)) {
      if (length != sizeof(uint32_t)) {
        return false;
      }
      uint32_t number;
      std::memcpy(&number, value, sizeof number);
      if (type == kInteger) {
        signed_ = static_cast<int32_t>(number);
        return Point(&signed_, sizeof signed_);
      }
      unsigned_ = number;
      return Point(&unsigned_, sizeof unsigned_);
    }
    if (type == kObjectIdentifier) {
      const size_t count = length / sizeof(uint32_t);
      if (length % sizeof(uint32_t) != 0 || count > kMaxSubIdentifiers) {
        return false;
      }
      for (size_t i = 0; i < count; ++i) {
        uint32_t arc;
        std::memcpy(&arc, static_cast<const uint8_t*>(value) + i * sizeof arc, sizeof arc);
        arcs_[i] = arc;
      }
      return Point(arcs_, count * sizeof(oid));
    }
    return false;
  }

  u_char* bytes() const { return const_cast<u_char*>(bytes_); }
  size_t length() const { return length_; }

 private:
  bool Point(const void* data, size_t length) {
    bytes_ = static_cast<const uint8_t*>(data);
    length_ = length;
    return true;
  }

  long signed_ = 0;
  u_long unsigned_ = 0;
  oid arcs_[kMaxSubIdentifiers] = {};
  const uint8_t* bytes_ = nullptr;
  size_t length_ = 0;
};

// Rewrites a four-byte header in place with its final length.
bool FillHeader(uint8_t* header, uint8_t type, const uint8_t* content, const uint8_t* end) {
  size_t room = 4;
  return asn_build_sequence(header, &room, type, static_cast<size_t>(end - content)) != nullptr;
}

uint32_t SaturatedArc(const char* piece) {
  const unsigned long long value = std::strtoull(piece, nullptr, 10);
  return static_cast<uint32_t>(std::min<unsigned long long>(value, UINT32_MAX));
}

}  // namespace

int snmp_session_seed(TrapContext* context, uint32_t seed) {
  if (context != nullptr) {
    context->request_id = static_cast<int32_t>(seed);
  }
  return 0;
}

int trap_init(TrapContext* context, const char* community) {
  if (context == nullptr) {
    return 0;
  }
  context->version = 1;
  context->pdu_type = SNMP_MSG_TRAP2;
  const uint32_t next = static_cast<uint32_t>(context->request_id) * 850009u + 991873u;
  context->request_id = static_cast<int32_t>((next & 0x7FFFFFFFu) | 1u);
  context->error_status = 0;
  context->error_index = 0;
  std::memset(context->community, 0, sizeof context->community);
  std::strncpy(context->community, community != nullptr ? community : kDefaultCommunity, sizeof context->community - 1);
  std::memset(context->buffer, 0, sizeof context->buffer);
  context->bytes_left = TrapContext::kBufferSize;
  context->length = 0;
  context->state = 0;
  // Every position, so nothing of an earlier message can be written through.
  context->message_content = nullptr;
  context->pdu_header = nullptr;
  context->pdu_content = nullptr;
  context->bindings_header = nullptr;
  context->bindings_content = nullptr;
  context->write_position = nullptr;
  return 0;
}

int trap_pack_begin(TrapContext* context) {
  if (context == nullptr || context->state != 0) {
    return -1;
  }
  context->state = 1;
  size_t left = context->bytes_left;
  const long version = context->version;
  const long request_id = context->request_id;
  const long error_status = context->error_status;
  const long error_index = context->error_index;
  // RFC 3416: Message ::= SEQUENCE { version, community, SNMPv2-Trap-PDU }.
  u_char* at = asn_build_sequence(context->buffer, &left, kSequence, 0);
  if (at == nullptr) {
    return -1;
  }
  context->message_content = at;
  at = asn_build_int(at, &left, ASN_INTEGER, &version, sizeof version);
  if (at != nullptr) {
    at = asn_build_string(at, &left, ASN_OCTET_STR, reinterpret_cast<const u_char*>(context->community),
                          std::strlen(context->community));
  }
  if (at == nullptr) {
    return -1;
  }
  context->pdu_header = at;
  at = asn_build_sequence(at, &left, static_cast<u_char>(context->pdu_type & 0xFF), 0);
  if (at == nullptr) {
    return -1;
  }
  context->pdu_content = at;
  at = asn_build_int(at, &left, ASN_INTEGER, &request_id, sizeof request_id);
  if (at != nullptr) {
    at = asn_build_int(at, &left, ASN_INTEGER, &error_status, sizeof error_status);
  }
  if (at != nullptr) {
    at = asn_build_int(at, &left, ASN_INTEGER, &error_index, sizeof error_index);
  }
  if (at == nullptr) {
    return -1;
  }
  context->bindings_header = at;
  at = asn_build_sequence(at, &left, kSequence, 0);
  if (at == nullptr) {
    return -1;
  }
  context->bindings_content = at;
  context->write_position = at;
  context->bytes_left = static_cast<uint32_t>(left);
  return 0;
}

int trap_pack_add(TrapContext* context, const uint32_t* name, size_t name_count, uint8_t type, const void* value,
                  size_t value_length) {
  if (context == nullptr || (context->state != 1 && context->state != 2) || context->write_position == nullptr) {
    return -1;
  }
  oid wide_name[kMaxSubIdentifiers];
  WideValue wide_value;
  u_char* at = nullptr;
  if (name != nullptr && name_count <= kMaxSubIdentifiers && wide_value.Assign(type, value, value_length)) {
    std::copy(name, name + name_count, wide_name);
    size_t name_length = name_count;
    size_t left = context->bytes_left;
    at = snmp_build_var_op(context->write_position, wide_name, &name_length, type, wide_value.length(),
                           wide_value.bytes(), &left);
    context->bytes_left = static_cast<uint32_t>(left);
  }
  context->write_position = at;
  if (at == nullptr) {
    return -1;
  }
  context->state = 2;
  return 0;
}

int trap_pack_end(TrapContext* context) {
  if (context == nullptr || (context->state != 1 && context->state != 2) || context->message_content == nullptr ||
      context->pdu_header == nullptr || context->pdu_content == nullptr || context->bindings_header == nullptr ||
      context->bindings_content == nullptr || context->write_position == nullptr) {
    return -1;
  }
  const uint8_t* end = context->write_position;
  if (!FillHeader(context->bindings_header, kSequence, context->bindings_content, end) ||
      !FillHeader(context->pdu_header, static_cast<uint8_t>(context->pdu_type & 0xFF), context->pdu_content, end) ||
      !FillHeader(context->buffer, kSequence, context->message_content, end)) {
    return -1;
  }
  context->length = static_cast<uint32_t>(end - context->buffer);
  context->state = 3;
  return 0;
}

int parse_oid(uint32_t* arcs, int capacity, const char* text) {
  if (arcs == nullptr || capacity <= 0 || text == nullptr) {
    return 0;
  }
  // A longer text would be cut short and give a different OID.
  if (strnlen(text, kMaxTextLength + 1) > kMaxTextLength) {
    return 0;
  }
  char copy[kMaxTextLength + 1];
  std::strcpy(copy, text);
  int count = 0;
  char* rest = nullptr;
  for (char* piece = strtok_r(copy, ".", &rest); piece != nullptr && count < capacity;
       piece = strtok_r(nullptr, ".", &rest)) {
    arcs[count++] = SaturatedArc(piece);
  }
  return count;
}

uint32_t get_uptime() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const uint64_t hundredths = static_cast<uint64_t>(now.tv_sec) * 100 + static_cast<uint64_t>(now.tv_nsec) / 10000000;
  return static_cast<uint32_t>(hundredths);
}
