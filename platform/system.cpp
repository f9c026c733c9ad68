#include "platform/system.h"

namespace vn {

std::string FormatThousands(int64_t value) {
  // Through the unsigned magnitude, so the most negative value has digits too.
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  for (size_t p = digits.size(); p > 3;) {
    p -= 3;
    digits.insert(p, 1, ',');
  }
  return negative ? "-" + digits : digits;
}

}  // namespace vn
