// Raw deflate of independent pieces that join into one stream: each piece but the last ends on a
// byte boundary with the history cleared (a full flush), so pieces made on different threads can
// be written one after the other. A PNG's image data is one zlib stream made of such pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vn::png {

class PieceDeflater {
 public:
  PieceDeflater();
  ~PieceDeflater();
  PieceDeflater(const PieceDeflater&) = delete;
  PieceDeflater& operator=(const PieceDeflater&) = delete;

  // Appends the compressed bytes of data to out; `last` ends the stream there.
  void Compress(const uint8_t* data, size_t size, bool last, std::vector<uint8_t>& out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The whole zlib stream of data in one call, with libdeflate, where the build has it. Slower than
// the pieces on photographs, but on drawings and gradients, whose data compresses to a small
// fraction, its files are up to a third of the size.
bool HaveWholeStream();
void CompressWholeStream(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

// The Adler-32 checksum of a zlib stream: continued over data, and joined from the checksums of two
// consecutive parts.
uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t size);
uint32_t CombineAdler32(uint32_t first, uint32_t second, size_t second_size);

}  // namespace vn::png
