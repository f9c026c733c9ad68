#include "imaging/png_filter.h"

namespace vn::png {

void PackRow(const TDIBSurface& source, const TDIBSurface* alpha, int32_t y, uint8_t* out) {
  const uint8_t* s = source.ScanLine(y);
  const size_t width = static_cast<size_t>(source.Width());
  if (alpha) {
    const uint8_t* a = alpha->ScanLine(y);
    for (size_t x = 0; x < width; ++x, s += 3, out += 4) {
      out[0] = s[2];
      out[1] = s[1];
      out[2] = s[0];
      out[3] = a[x];
    }
    return;
  }
  for (size_t x = 0; x < width; ++x, s += 3, out += 3) {
    out[0] = s[2];
    out[1] = s[1];
    out[2] = s[0];
  }
}

namespace {

// The byte of the three neighbours (left, above, upper left) that is nearest to left + above -
// upper left; ties go to left, then above. Branch-free, so that the loop vectorises.
inline uint8_t PaethPredictor(int a, int b, int c) {
  const int pa = b > c ? b - c : c - b;                          // |p - a|, p = a + b - c
  const int pb = a > c ? a - c : c - a;                          // |p - b|
  const int pc = a + b > 2 * c ? a + b - 2 * c : 2 * c - a - b;  // |p - c|
  const int bc = pb <= pc ? b : c;
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : bc);
}

}  // namespace

void FilterRow(RowFilter filter, const uint8_t* row, const uint8_t* above, size_t size, size_t bpp,
               uint8_t* out) {
  *out++ = static_cast<uint8_t>(filter);
  const size_t head = bpp < size ? bpp : size;  // the first pixel has nothing to its left
  switch (filter) {
    case RowFilter::kSub:
      for (size_t i = 0; i < head; ++i) out[i] = row[i];
      for (size_t i = head; i < size; ++i) out[i] = static_cast<uint8_t>(row[i] - row[i - bpp]);
      break;
    case RowFilter::kUp:
      for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(row[i] - above[i]);
      break;
    case RowFilter::kPaeth:
      for (size_t i = 0; i < head; ++i) out[i] = static_cast<uint8_t>(row[i] - above[i]);
      for (size_t i = head; i < size; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - PaethPredictor(row[i - bpp], above[i], above[i - bpp]));
      }
      break;
  }
}

}  // namespace vn::png
