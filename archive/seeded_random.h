// The deterministic generator shared by the archive directory scrambling (as keystream) and the
// picture decoder (as shuffler): state = state * 5 + seed, modulo 2^32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vn {

class TSeededRandom {
 public:
  explicit TSeededRandom(int32_t seed) : seed_(static_cast<uint32_t>(seed)) {}

  int32_t Seed() const { return static_cast<int32_t>(seed_); }

  int32_t Next() {
    Advance();
    return static_cast<int32_t>(state_);
  }

  // Fills the pool with 0 .. n-1; the state goes on where it was.
  void Reset(int32_t n);
  // Takes one value out of the pool; raises vn::Exception when the pool is empty.
  int32_t Draw();
  size_t PoolSize() const { return pool_.size(); }

 private:
  void Advance() { state_ = state_ * 5u + seed_; }

  uint32_t seed_;
  uint32_t state_ = 0;
  std::vector<int32_t> pool_;
};

}  // namespace vn
