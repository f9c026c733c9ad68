// An unsigned 128-bit integer of two 64-bit halves, with the few operations the gradient's exact
// rounding needs. Compilers for 32-bit targets have no __int128, and every target must paint the
// same bands.
#pragma once

#include <cstdint>

namespace vn {

class UInt128 {
 public:
  constexpr UInt128(uint64_t low = 0) : hi_(0), lo_(low) {}  // NOLINT: widening, as for built-in integers

  friend constexpr bool operator==(UInt128 a, UInt128 b) { return a.hi_ == b.hi_ && a.lo_ == b.lo_; }
  friend constexpr bool operator>(UInt128 a, UInt128 b) {
    return a.hi_ != b.hi_ ? a.hi_ > b.hi_ : a.lo_ > b.lo_;
  }
  explicit constexpr operator bool() const { return hi_ != 0 || lo_ != 0; }
  explicit constexpr operator uint64_t() const { return lo_; }

  // Shifts by 0 to 127 bits.
  friend constexpr UInt128 operator<<(UInt128 a, int n) {
    if (n == 0) return a;
    if (n >= 64) return Make(a.lo_ << (n - 64), 0);
    return Make((a.hi_ << n) | (a.lo_ >> (64 - n)), a.lo_ << n);
  }
  friend constexpr UInt128 operator>>(UInt128 a, int n) {
    if (n == 0) return a;
    if (n >= 64) return Make(0, a.hi_ >> (n - 64));
    return Make(a.hi_ >> n, (a.lo_ >> n) | (a.hi_ << (64 - n)));
  }
  UInt128& operator<<=(int n) { return *this = *this << n; }
  UInt128& operator>>=(int n) { return *this = *this >> n; }
  friend constexpr UInt128 operator&(UInt128 a, UInt128 b) { return Make(a.hi_ & b.hi_, a.lo_ & b.lo_); }
  friend constexpr UInt128 operator-(UInt128 a, UInt128 b) {
    return Make(a.hi_ - b.hi_ - (a.lo_ < b.lo_ ? 1 : 0), a.lo_ - b.lo_);
  }
  UInt128& operator++() {
    if (++lo_ == 0) ++hi_;
    return *this;
  }

  // Product and quotient with a 32-bit factor or divisor (the product is taken modulo 2^128).
  friend constexpr UInt128 operator*(UInt128 a, uint32_t f) {
    const uint64_t low = (a.lo_ & 0xFFFFFFFFu) * f;
    const uint64_t mid = (a.lo_ >> 32) * f + (low >> 32);
    return Make(a.hi_ * f + (mid >> 32), (mid << 32) | (low & 0xFFFFFFFFu));
  }
  friend constexpr UInt128 operator/(UInt128 a, uint32_t d) {
    uint32_t remainder = 0;
    return a.DivMod(d, remainder);
  }
  friend constexpr uint32_t operator%(UInt128 a, uint32_t d) {
    uint32_t remainder = 0;
    a.DivMod(d, remainder);
    return remainder;
  }

 private:
  static constexpr UInt128 Make(uint64_t hi, uint64_t lo) {
    UInt128 v;
    v.hi_ = hi;
    v.lo_ = lo;
    return v;
  }
  // Long division by 32-bit digits, most significant first. d > 0.
  constexpr UInt128 DivMod(uint32_t d, uint32_t& remainder) const {
    const uint32_t digits[4] = {static_cast<uint32_t>(hi_ >> 32), static_cast<uint32_t>(hi_),
                                static_cast<uint32_t>(lo_ >> 32), static_cast<uint32_t>(lo_)};
    uint32_t q[4] = {};
    uint64_t rest = 0;
    for (int i = 0; i < 4; ++i) {
      const uint64_t part = (rest << 32) | digits[i];
      q[i] = static_cast<uint32_t>(part / d);
      rest = part % d;
    }
    remainder = static_cast<uint32_t>(rest);
    return Make((uint64_t{q[0]} << 32) | q[1], (uint64_t{q[2]} << 32) | q[3]);
  }

  uint64_t hi_;
  uint64_t lo_;
};

}  // namespace vn
