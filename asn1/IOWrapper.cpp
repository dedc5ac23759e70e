#include "asn1/IOWrapper.h"

#include "asn1/AbstractData.h"

#include <istream>
#include <new>
#include <ostream>

namespace ASN1 {

template <class Char, class Traits>
void IOWrapper<Char, Traits>::do_it(std::basic_ios<Char, Traits>& stream) {
  std::ios_base::iostate state = std::ios_base::goodbit;
  try {
    state = do_real_io();
  } catch (...) {
    const std::ios_base::iostate caught = [] {
      try {
        throw;
      } catch (const std::bad_alloc&) {
        return std::ios_base::badbit;
      } catch (...) {
        return std::ios_base::failbit;
      }
    }();
    // The caller asked for exceptions on this state: give them the original one, not ios_base::failure.
    if ((stream.exceptions() & caught) != 0) {
      try {
        stream.setstate(caught);
      } catch (const std::ios_base::failure&) {
      }
      throw;
    }
    state |= caught;
  }
  if (state != std::ios_base::goodbit) {
    stream.setstate(state);
  }
}

template <class Char, class Traits, class Value>
std::ios_base::iostate InserterWrapper<Char, Traits, Value>::do_real_io() {
  const typename std::basic_ostream<Char, Traits>::sentry sentry(stream_);
  if (!sentry) {
    return std::ios_base::goodbit;
  }
  return static_cast<std::ios_base::iostate>(value_.print_on(stream_));
}

// The sentry skips white space and, at the end of the input, sets the stream's state itself.
template <class Char, class Traits, class Value>
std::ios_base::iostate ExtractorWrapper<Char, Traits, Value>::do_real_io() {
  const typename std::basic_istream<Char, Traits>::sentry sentry(stream_);
  if (!sentry) {
    return std::ios_base::goodbit;
  }
  return static_cast<std::ios_base::iostate>(value_.get_from(stream_));
}

std::istream& g_extractor(std::istream& stream, AbstractData& value) {
  if (!stream.good()) {
    return stream;
  }
  ExtractorWrapper<char, std::char_traits<char>, AbstractData> wrapper(stream, value);
  wrapper.do_it(stream);
  return stream;
}

std::ostream& g_inserter(std::ostream& stream, const AbstractData& value) {
  if (!stream.good()) {
    return stream;
  }
  InserterWrapper<char, std::char_traits<char>, AbstractData> wrapper(stream, value);
  wrapper.do_it(stream);
  return stream;
}

}  // namespace ASN1
