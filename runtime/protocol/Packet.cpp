#include "runtime/protocol/Packet.h"

#include "runtime/containers/List_allocator.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <vector>

namespace {

using PacketPool = List_allocator<_Packet, 1024, Dummy_critical_section>;

// Built on first use in static storage and never destroyed, so a handle that
// outlives the other static objects can still give its buffer back.
PacketPool& Pool() {
  alignas(PacketPool) static unsigned char storage[sizeof(PacketPool)];
  static PacketPool* const pool = new (storage) PacketPool;
  return *pool;
}

void PutHexBytes(std::ostream& os, const uint8_t* bytes, unsigned len) {
  const std::ios::fmtflags flags = os.flags();
  for (unsigned i = 0; i < len; ++i) {
    os << ' ' << std::hex << static_cast<unsigned>(bytes[i]);
  }
  os.flags(flags);
}

// What an assertion shows of the packet it fired on.
class PacketInfo {
 public:
  explicit PacketInfo(const Packet& packet) {
    const _Packet* buffer = packet.get();
    if (buffer == nullptr) {
      return;
    }
    is_null_ = false;
    head_ = buffer->data - buffer->buffer;
    length_ = buffer->tail - buffer->data;
    tail_ = buffer->buffer + packet_max_size - buffer->tail;
    pointers_valid_ = buffer->pointers_valid();
    if (pointers_valid_) {
      bytes_.assign(buffer->data, buffer->tail);
    }
  }

  void put(std::ostream& os) const {
    if (is_null_) {
      os << "(null)\n";
      return;
    }
    os << "head=" << head_ << ", data=" << length_ << ", tail=" << tail_ << '\n';
    if (!pointers_valid_) {
      os << "can't dump packet: wrong pointers\n";
      return;
    }
    if (!bytes_.empty()) {
      os << "dump:\n";
      PutHexBytes(os, bytes_.data(), static_cast<unsigned>(bytes_.size()));
      os << '\n';
    }
  }

 private:
  bool is_null_ = true;
  bool pointers_valid_ = false;
  long head_ = 0;
  long length_ = 0;
  long tail_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace

void _Packet::release() {
  if (--ref_count == 0) {
    Pool().deallocate(this);
  }
}

bool _Packet::pointers_valid() const {
  return buffer <= data && data <= tail && tail <= buffer + packet_max_size;
}

_Packet& Packet::take_buffer(unsigned offset) {
  _Packet* buffer = Pool().allocate();
  if (buffer == nullptr) {
    throw std::bad_alloc();
  }
  buffer->data = buffer->buffer + offset;
  buffer->tail = buffer->data;
  Smart_pointer<_Packet>::operator=(Smart_pointer<_Packet>(buffer));
  return *buffer;
}

_Packet& Packet::prepare_for_modify() {
  _Packet& shared = **this;
  if (shared.ref_count <= 1) {
    return shared;
  }
  Packet copy;
  _Packet& own = copy.take_buffer(shared._headroom());
  const unsigned len = shared._length();
  if (len > 0) {
    std::memcpy(own.data, shared.data, len);
  }
  own.tail = own.data + len;
  *this = std::move(copy);
  return own;
}

void Packet::reserve_head(unsigned len) {
  if (get() == nullptr) {
    passert(len <= packet_max_size, "length>packet_max_size");
    take_buffer(len);
    return;
  }
  _Packet& buffer = prepare_for_modify();
  // The whole window moves, data included, so it must stay inside the buffer.
  passert(len <= buffer._tailroom(), "new_len>packet_max_size");
  buffer.data += len;
  buffer.tail += len;
}

void Packet::reserve_tail(unsigned len) {
  if (get() == nullptr) {
    passert(len <= packet_max_size, "len>packet_max_size");
    take_buffer(packet_max_size - len);
    return;
  }
  _Packet& buffer = prepare_for_modify();
  passert(len <= buffer._headroom(), "_tailroom()+len <= packet_max_size");
  buffer.data -= len;
  buffer.tail -= len;
}

void Packet::put8(uint8_t value) {
  put(&value, 1);
}

void Packet::put16_b(unsigned short value) {
  const uint8_t bytes[] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  put(bytes, sizeof bytes);
}

void Packet::put16(unsigned short value) {
  const uint8_t bytes[] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  put(bytes, sizeof bytes);
}

void Packet::put(const uint8_t* bytes, unsigned len) {
  uint8_t* at = tail_buffer();
  advance_tail(len);
  if (len > 0) {
    std::memcpy(at, bytes, len);
  }
}

void Packet::put(const Packet& other) {
  passert(get() != nullptr, "null packet");
  other.passert(other.get() != nullptr, "null packet");
  // Held across the copy-on-write below, which may give this handle a new
  // buffer while the bytes are read from the other one.
  const Packet source = other;
  put(source.data(), source.length());
}

void Packet::put(const std::string& text) {
  passert(text.size() <= 255, "string.length()<=255");
  put8(static_cast<uint8_t>(text.size()));
  put(reinterpret_cast<const uint8_t*>(text.data()), static_cast<unsigned>(text.size()));
}

uint8_t* Packet::tail_buffer() {
  return prepare_for_modify().tail;
}

void Packet::advance_tail(unsigned len) {
  _Packet& buffer = prepare_for_modify();
  passert(len <= buffer._tailroom(), "len<=_tailroom()");
  buffer.tail += len;
  check("put");
}

void Packet::push8(uint8_t value) {
  _Packet& buffer = prepare_for_modify();
  passert(buffer._headroom() >= 1, "len<=_headroom()");
  --buffer.data;
  check("push");
  *buffer.data = value;
}

void Packet::push16_b(unsigned short value) {
  push8(static_cast<uint8_t>(value));
  push8(static_cast<uint8_t>(value >> 8));
}

uint8_t Packet::pull8() {
  _Packet& buffer = prepare_for_modify();
  passert(buffer._length() >= 1, "len<=_length()");
  return *buffer.data++;
}

unsigned short Packet::pull16_b() {
  unsigned value = 0;
  if (length() > 0) {
    value = unsigned{pull8()} << 8;
  }
  if (length() > 0) {
    value |= pull8();
  }
  return static_cast<unsigned short>(value);
}

unsigned short Packet::pull16_l() {
  unsigned value = 0;
  if (length() > 0) {
    value = pull8();
  }
  if (length() > 0) {
    value |= unsigned{pull8()} << 8;
  }
  return static_cast<unsigned short>(value);
}

std::string Packet::pull_string() {
  const unsigned len = length() > 0 ? pull8() : 0;
  std::string text(len, '\0');
  for (char& c : text) {
    if (length() == 0) {
      break;
    }
    c = static_cast<char>(pull8());
  }
  return text;
}

void Packet::trim(unsigned len) {
  _Packet& buffer = prepare_for_modify();
  passert(len <= buffer._length(), "len<=_length()");
  buffer.tail -= len;
  check("trim");
}

uint8_t Packet::operator[](unsigned index) const {
  passert(index < length(), "index out of range");
  return get()->data[index];
}

unsigned Packet::length() const {
  return get() != nullptr ? get()->_length() : 0;
}

const uint8_t* Packet::data() const {
  return get() != nullptr ? get()->data : nullptr;
}

Packet Packet::sub(unsigned len, unsigned start) const {
  passert(get() != nullptr, "null packet");
  passert(start <= length(), "start<=_length()");
  // Written as a difference: start + len could wrap around.
  passert(len <= length() - start, "start+len<=_length()");
  Packet part;
  _Packet& own = part.take_buffer(get()->_headroom() + start);
  if (len > 0) {
    std::memcpy(own.data, get()->data + start, len);
  }
  own.tail = own.data + len;
  return part;
}

std::string Packet::text() const {
  if (get() == nullptr) {
    return "(null)";
  }
  if (!get()->pointers_valid()) {
    return "(bad)";
  }
  std::string out;
  for (unsigned i = 0; i < length(); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", get()->data[i]);
    if (i > 0) {
      out += ' ';
    }
    out += hex;
  }
  return out;
}

bool Packet::dump(std::ostream& os) const {
  if (get() == nullptr) {
    return false;
  }
  os << "head=" << get()->_headroom() << ", data=" << get()->_length() << ", tail=" << get()->_tailroom();
  return true;
}

bool Packet::dump_context(std::ostream& os) const {
  if (get() == nullptr || !get()->pointers_valid()) {
    return false;
  }
  if (length() > 0) {
    os << "dump:";
    PutHexBytes(os, data(), length());
  }
  return true;
}

void Packet::check(const char* operation) const {
  const _Packet* buffer = get();
  if (buffer == nullptr) {
    check_fail("after \"%s\" packet is null", operation);
  }
  const uint8_t* end = buffer->buffer + packet_max_size;
  if (buffer->data < buffer->buffer || buffer->data > end) {
    check_fail("after \"%s\" fdata invalid", operation);
  }
  if (buffer->tail < buffer->buffer || buffer->tail > end) {
    check_fail("after \"%s\" ftail invalid", operation);
  }
  if (buffer->data > buffer->tail) {
    check_fail("after \"%s\" fdata>ftail", operation);
  }
}

void Packet::check_fail(const char* format, ...) {
  char message[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  std::clog << "packet check fail\n" << message << "\nterminate." << std::endl;
  std::terminate();
}

void Packet::assertion_failed(const char* message) const {
  std::clog << "PACKET ASSERTION FAILED!\n" << message << '\n';
  PacketInfo(*this).put(std::clog);
  std::clog << std::endl;
  std::terminate();
}
