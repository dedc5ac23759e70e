#pragma once

#include <ios>
#include <iosfwd>

namespace ASN1 {

class AbstractData;

// Formatted output and input of a value by the standard library's rules: a sentry guards the stream, failures become
// stream state, and exceptions reach the caller only when the stream's exception mask asks for them.
template <class Char, class Traits>
class IOWrapper {
 public:
  virtual ~IOWrapper() = default;
  void do_it(std::basic_ios<Char, Traits>& stream);

 protected:
  // The stream state bits to set, 0 for none.
  virtual std::ios_base::iostate do_real_io() = 0;
};

template <class Char, class Traits, class Value>
class InserterWrapper : public IOWrapper<Char, Traits> {
 public:
  InserterWrapper(std::basic_ostream<Char, Traits>& stream, const Value& value) : stream_(stream), value_(value) {}

 protected:
  std::ios_base::iostate do_real_io() override;

 private:
  std::basic_ostream<Char, Traits>& stream_;
  const Value& value_;
};

template <class Char, class Traits, class Value>
class ExtractorWrapper : public IOWrapper<Char, Traits> {
 public:
  ExtractorWrapper(std::basic_istream<Char, Traits>& stream, Value& value) : stream_(stream), value_(value) {}

 protected:
  std::ios_base::iostate do_real_io() override;

 private:
  std::basic_istream<Char, Traits>& stream_;
  Value& value_;
};

std::ostream& g_inserter(std::ostream& stream, const AbstractData& value);
std::istream& g_extractor(std::istream& stream, AbstractData& value);

}  // namespace ASN1
