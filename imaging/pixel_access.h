// Reading and writing single pixels inside one row, by bit count. Pixels of 1 and 4 bits are packed
// from the most significant bits of each byte; wider pixels are little-endian.
#pragma once

#include <cstdint>
#include <cstring>

namespace vn::pixel {

// 5- and 6-bit components widened to 8 bits by repeating their top bits (31 -> 255, 63 -> 255).
inline uint8_t Widen5(uint32_t v) {
  return static_cast<uint8_t>((v << 3) | (v >> 2));
}
inline uint8_t Widen6(uint32_t v) {
  return static_cast<uint8_t>((v << 2) | (v >> 4));
}

inline uint32_t Get(const uint8_t* row, int32_t x, int32_t bits) {
  switch (bits) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case 8:
      return row[x];
    case 16:
      return uint32_t{row[2 * x]} | (uint32_t{row[2 * x + 1]} << 8);
    case 24: {
      const uint8_t* p = row + 3 * x;
      return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
    }
    case 32: {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      return v;
    }
  }
  return 0;
}

inline void Set(uint8_t* row, int32_t x, int32_t bits, uint32_t value) {
  switch (bits) {
    case 1: {
      const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
      row[x >> 3] = (value & 1) ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask);
      return;
    }
    case 4: {
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (value & 0x0F))
                  : static_cast<uint8_t>((b & 0x0F) | ((value & 0x0F) << 4));
      return;
    }
    case 8:
      row[x] = static_cast<uint8_t>(value);
      return;
    case 16:
      row[2 * x] = static_cast<uint8_t>(value);
      row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
      return;
    case 24: {
      uint8_t* p = row + 3 * x;
      p[0] = static_cast<uint8_t>(value);
      p[1] = static_cast<uint8_t>(value >> 8);
      p[2] = static_cast<uint8_t>(value >> 16);
      return;
    }
    case 32:
      std::memcpy(row + 4 * x, &value, 4);
      return;
  }
}

}  // namespace vn::pixel
