#pragma once

#include <cstddef>
#include <cstdint>

// The state of one SNMPv2c trap (an SNMP message carrying an SNMPv2-Trap-PDU,
// RFC 3416) being built in BER into its own buffer. The positions point into
// that buffer, so a context is never copied.
struct TrapContext {
  static constexpr size_t kBufferSize = 2048;
  static constexpr size_t kCommunitySize = 32;

  TrapContext() = default;
  TrapContext(const TrapContext&) = delete;
  TrapContext& operator=(const TrapContext&) = delete;

  uint32_t version = 0;
  uint32_t pdu_type = 0;
  int32_t request_id = 0;
  int32_t error_status = 0;
  int32_t error_index = 0;
  // At most 31 characters, always ended by a zero byte.
  char community[kCommunitySize] = {};
  // 0 initialised, 1 begun, 2 variables added, 3 ended.
  int32_t state = 0;
  uint8_t buffer[kBufferSize] = {};
  uint32_t bytes_left = 0;
  // Of the finished message; 0 until trap_pack_end.
  uint32_t length = 0;
  uint8_t* message_content = nullptr;
  uint8_t* pdu_header = nullptr;
  uint8_t* pdu_content = nullptr;
  uint8_t* bindings_header = nullptr;
  uint8_t* bindings_content = nullptr;
  // Where the next element goes; null after a failed step.
  uint8_t* write_position = nullptr;
};

// For each trap: trap_init, trap_pack_begin, any number of trap_pack_add,
// trap_pack_end; the message is then the first `length` bytes of the buffer.
// The building calls return 0 on success and -1 on failure; a failed begin or
// add leaves the context unusable until the next trap_init.

// Sets the request id that trap_init advances; call once before the first trap.
int snmp_session_seed(TrapContext* context, uint32_t seed);
// Starts a new message: the next request id (odd and positive) and the
// community, "tavrik" when none is given, cut to 31 characters.
int trap_init(TrapContext* context, const char* community);
// Writes the message, PDU and variable-bindings headers and the fixed fields.
[[nodiscard]] int trap_pack_begin(TrapContext* context);
// Appends one binding: the name's sub-identifiers, a value type among
// INTEGER, BIT STRING, OCTET STRING, NULL, OBJECT IDENTIFIER, IpAddress,
// Counter32, Gauge32, TimeTicks, Opaque, NsapAddress and UInteger32, and the
// value's bytes in host order. The 32-bit number types and IpAddress take 4
// bytes; an OBJECT IDENTIFIER value takes 4 bytes per sub-identifier.
[[nodiscard]] int trap_pack_add(TrapContext* context, const uint32_t* name, size_t name_count, uint8_t type,
                                const void* value, size_t value_length);
// Fills in the header lengths; a trap without bindings is allowed.
[[nodiscard]] int trap_pack_end(TrapContext* context);

// Stores the sub-identifiers of a dotted OID text (empty pieces skipped, each
// read as a decimal number, saturated at 0xFFFFFFFF) up to capacity; returns
// how many. 0 for a missing array or text, a capacity below 1, or a text over
// 127 characters.
[[nodiscard]] int parse_oid(uint32_t* oid, int capacity, const char* text);

// Hundredths of a second since the system started, from a clock that never
// goes back; wraps after 497 days, as TimeTicks do.
uint32_t get_uptime();
