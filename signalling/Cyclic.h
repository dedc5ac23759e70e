#pragma once

// A sequence number of the link protocols, kept in 0..Max and computed modulo
// Max + 1 (128 for LAPD and MTP level 2). a <= b <= c is the window test: counting
// forward from a, b is reached no later than c, both ends included.
template <class T, T Max>
class Cyclic {
  static_assert((Max & (Max + 1)) == 0, "the modulus must be a power of two");

 public:
  // What a <= b gives: only a second <= turns it into a truth value.
  class LessEqPair {
   public:
    LessEqPair(T first, T second) : first_(first), second_(second) {}
    bool operator<=(Cyclic c) const { return (T(c.value_ - first_) & Max) >= (T(second_ - first_) & Max); }

   private:
    T first_;
    T second_;
  };

  Cyclic() = default;
  Cyclic(T value) : value_(value & Max) {}  // NOLINT: numbers convert freely, reduced
  operator T() const { return value_; }

  Cyclic operator+(const Cyclic& other) const { return Cyclic(value_ + other.value_); }
  // Unsigned, then reduced: 3 - 5 is 126.
  Cyclic operator-(const Cyclic& other) const { return Cyclic(value_ - other.value_); }
  Cyclic& operator++() {
    value_ = value_ >= Max ? 0 : value_ + 1;
    return *this;
  }
  Cyclic operator++(int) {
    const Cyclic before = *this;
    ++*this;
    return before;
  }
  Cyclic& operator--() {
    value_ = value_ == 0 ? Max : value_ - 1;
    return *this;
  }
  LessEqPair operator<=(Cyclic b) const { return LessEqPair(value_, b.value_); }

 private:
  T value_ = 0;
};
