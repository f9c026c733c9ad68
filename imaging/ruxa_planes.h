// The raw planes of RXA layers: inflating, the rows layout and the block layout. Internal to the
// picture loader and the encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/dib_surface.h"

namespace vn::ruxa {

// Block table tags; any other tag names the frame a reference block copies from.
constexpr int32_t kLiteralBlock = -1;
constexpr int32_t kRepeatBlock = -2;

struct BlockEntry {
  int32_t tag = kLiteralBlock;
  int32_t index = 0;
};
static_assert(sizeof(BlockEntry) == 8);

// The grid of a block layout over a picture.
struct BlockGrid {
  int32_t block_width = 0;
  int32_t block_height = 0;
  int32_t tiles_x = 0;
  int32_t tiles_y = 0;
  int64_t Count() const { return int64_t{tiles_x} * tiles_y; }
};
BlockGrid MakeGrid(int32_t width, int32_t height, int32_t block_width, int32_t block_height);

// Bytes one row of `width` pixels occupies in a block: ceil(width * bits / 8).
inline int64_t BlockRowBytes(int64_t width, int32_t bits) {
  return (width * bits + 7) / 8;
}

// Upper bounds of a raw plane's length, to cap inflation before anything is allocated.
int64_t RowsPlaneBytes(const TDIBSurface& target);
int64_t BlocksPlaneMaxBytes(const TDIBSurface& target, const BlockGrid& grid);

// Inflates a zlib stream, keeping at most `limit` bytes (the rest cannot be needed). Raises
// EFormatError naming `what` for damaged data.
std::vector<uint8_t> Inflate(const uint8_t* data, size_t size, int64_t limit, const std::string& what);
std::string Deflate(const void* data, size_t size);

// The order in which stored rows or table entries are placed: order[k] is where the k-th goes.
std::vector<int32_t> PlacementOrder(int32_t seed, int32_t count);

// Rows layout: Height rows of RowSize bytes, stored row k going to row order[k].
void DecodeRows(const uint8_t* data, size_t size, int32_t seed, TDIBSurface& target, const std::string& what);

// Block layout. `reference` resolves a reference block (tag, index) to its source surface, raising
// for a missing or unlike one.
using ReferenceSource = std::function<const TDIBSurface&(int32_t tag, int32_t index)>;
void DecodeBlocks(const uint8_t* data, size_t size, const BlockGrid& grid, bool shuffled, int32_t key,
                  TDIBSurface& target, const ReferenceSource& reference, const std::string& what);

// Copies a w x h block as bytes, row by row: BlockRowBytes(w) bytes from byte (left * bits) / 8
// of each row. Raises EFormatError when either rectangle leaves its picture's rows.
void CopyBlockBytes(const TDIBSurface& source, int32_t source_left, int32_t source_top, TDIBSurface& target,
                    int32_t left, int32_t top, int32_t w, int32_t h, const std::string& what);

}  // namespace vn::ruxa
