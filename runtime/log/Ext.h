#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>

// Stream manipulators that give every log line the same shape.
namespace ext {

// Writes the object's own log-line header through its const PutHeader(ostream&).
template <class X>
struct OutObjHeader {
  const X* obj;
};

template <class X>
OutObjHeader<X> header(const X* obj) {
  return OutObjHeader<X>{obj};
}

template <class X>
std::ostream& operator<<(std::ostream& os, const OutObjHeader<X>& h) {
  h.obj->PutHeader(os);
  return os;
}

// The value between double quotes.
template <class T>
struct OutQuoted {
  const T& value;
};

template <class T>
OutQuoted<T> quoted(const T& value) {
  return OutQuoted<T>{value};
}

// A text type (the ASN.1 strings among them) prints as its plain text, whatever
// other operator<< the including file sees: two files must never make two
// different instances of this template.
template <class T>
std::ostream& operator<<(std::ostream& os, const OutQuoted<T>& q) {
  if constexpr (std::is_base_of_v<std::string, T>) {
    return os << '"' << static_cast<const std::string&>(q.value) << '"';
  } else {
    return os << '"' << q.value << '"';
  }
}

// Each byte as two upper-case hex digits and a blank: "03 00 1C ".
struct OutBufInHex {
  OutBufInHex(const void* begin, const void* end)
      : begin(static_cast<const uint8_t*>(begin)), end(static_cast<const uint8_t*>(end)) {}
  const uint8_t* begin;
  const uint8_t* end;
};

std::ostream& operator<<(std::ostream& os, const OutBufInHex& hex);

// "0x" and the value in upper-case hex, zero-filled to width: 0x001A.
struct OutUnsignedInHex {
  OutUnsignedInHex(unsigned long value, int width) : value(value), width(width) {}
  unsigned long value;
  int width;
};

std::ostream& operator<<(std::ostream& os, const OutUnsignedInHex& hex);

}  // namespace ext
