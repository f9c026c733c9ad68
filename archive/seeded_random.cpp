#include "archive/seeded_random.h"

#include "platform/error.h"

namespace vn {

void TSeededRandom::Reset(int32_t n) {
  pool_.clear();
  if (n <= 0) return;
  pool_.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) pool_.push_back(i);
}

int32_t TSeededRandom::Draw() {
  Advance();
  if (pool_.empty()) throw Exception("TSeededRandom.Draw: the pool is empty");
  const size_t k = state_ % pool_.size();
  const int32_t value = pool_[k];
  pool_.erase(pool_.begin() + static_cast<std::ptrdiff_t>(k));
  return value;
}

}  // namespace vn
