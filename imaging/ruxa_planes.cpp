#include "imaging/ruxa_planes.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/seeded_random.h"
#include "platform/error.h"

namespace vn::ruxa {

namespace {

std::string Num(int64_t v) {
  return std::to_string(v);
}

}  // namespace

BlockGrid MakeGrid(int32_t width, int32_t height, int32_t block_width, int32_t block_height) {
  BlockGrid grid;
  grid.block_width = block_width;
  grid.block_height = block_height;
  grid.tiles_x = static_cast<int32_t>((int64_t{width} + block_width - 1) / block_width);
  grid.tiles_y = static_cast<int32_t>((int64_t{height} + block_height - 1) / block_height);
  return grid;
}

int64_t RowsPlaneBytes(const TDIBSurface& target) {
  return int64_t{target.RowSize()} * target.Height();
}

int64_t BlocksPlaneMaxBytes(const TDIBSurface& target, const BlockGrid& grid) {
  int64_t row_bytes = 0;  // literal bytes of one pixel row across every tile column
  for (int32_t tx = 0; tx < grid.tiles_x; ++tx) {
    const int64_t x = int64_t{tx} * grid.block_width;
    row_bytes += BlockRowBytes(std::min<int64_t>(grid.block_width, target.Width() - x), target.BitCount());
  }
  return grid.Count() * int64_t{sizeof(BlockEntry)} + row_bytes * target.Height();
}

std::vector<uint8_t> Inflate(const uint8_t* data, size_t size, int64_t limit, const std::string& what) {
  const size_t most = static_cast<size_t>(std::max<int64_t>(limit, 0));
  // Grow with what actually comes out, so that damaged data cannot make us reserve the limit.
  std::vector<uint8_t> out(std::min(most, std::max<size_t>(size * 4, size_t{1} << 16)));
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EFormatError(what + ": zlib cannot start");
  z.next_in = const_cast<Bytef*>(data);
  size_t in_left = size, produced = 0;
  int rc = Z_OK;
  uint8_t spare;
  while (true) {
    if (produced == out.size() && out.size() < most) out.resize(std::min(most, out.size() * 2));
    // Chunks that fit zlib's 32-bit counters.
    const uInt in_chunk = static_cast<uInt>(std::min<size_t>(in_left, 1u << 30));
    const uInt out_chunk = static_cast<uInt>(std::min<size_t>(out.size() - produced, 1u << 30));
    z.avail_in = in_chunk;
    // A zero-size output still lets zlib check the header and see the end of an empty stream.
    z.next_out = out_chunk ? out.data() + produced : &spare;
    z.avail_out = out_chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    in_left -= in_chunk - z.avail_in;
    produced += out_chunk - z.avail_out;
    if (rc == Z_STREAM_END || produced == most) break;  // the layout needs no more
    if (rc == Z_BUF_ERROR && in_left == 0) break;       // the data ended before the stream did
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
  }
  const std::string message = z.msg ? z.msg : "";
  inflateEnd(&z);
  if (rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR || rc == Z_NEED_DICT) {
    throw EFormatError(what + ": damaged zlib data" + (message.empty() ? "" : " (" + message + ")"));
  }
  out.resize(produced);
  return out;
}

std::string Deflate(const void* data, size_t size) {
  uLongf bound = compressBound(static_cast<uLong>(size));
  std::string out(bound, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &bound, static_cast<const Bytef*>(data),
                static_cast<uLong>(size), Z_DEFAULT_COMPRESSION) != Z_OK) {
    throw EFormatError("zlib compression failed");
  }
  out.resize(bound);
  return out;
}

std::vector<int32_t> PlacementOrder(int32_t seed, int32_t count) {
  const int32_t n = std::max(count, 0);
  std::vector<int32_t> order(static_cast<size_t>(n));
  if (seed == 0) {
    // A zero seed draws the pool in ascending order: the natural order.
    for (int32_t k = 0; k < n; ++k) order[k] = k;
    return order;
  }
  // The draws of TSeededRandom over the pool 0 .. n-1: each takes the value at position
  // (state mod pool size) out of the pool, the rest keeping their order. A Fenwick tree of the
  // values still in the pool finds that value in O(log n) where erasing from a vector costs O(n),
  // so a picture of many rows or blocks cannot make the shuffle quadratic.
  std::vector<int32_t> tree(static_cast<size_t>(n) + 1, 0);
  for (int32_t i = 1; i <= n; ++i) {
    tree[i] += 1;
    const int32_t parent = i + (i & -i);
    if (parent <= n) tree[parent] += tree[i];
  }
  int32_t top = 1;
  while (top * 2 <= n) top *= 2;
  TSeededRandom random(seed);
  for (int32_t k = 0; k < n; ++k) {
    const uint32_t state = static_cast<uint32_t>(random.Next());
    int32_t rank = static_cast<int32_t>(state % static_cast<uint32_t>(n - k)) + 1;
    int32_t position = 0;
    for (int32_t step = top; step > 0; step >>= 1) {
      if (position + step <= n && tree[position + step] < rank) {
        position += step;
        rank -= tree[position];
      }
    }
    order[k] = position;  // the value at 1-based index position + 1
    for (int32_t i = position + 1; i <= n; i += i & -i) --tree[i];
  }
  return order;
}

void DecodeRows(const uint8_t* data, size_t size, int32_t seed, TDIBSurface& target,
                const std::string& what) {
  const int64_t needed = RowsPlaneBytes(target);
  if (static_cast<int64_t>(size) < needed) {
    throw EFormatError(what + " holds " + Num(static_cast<int64_t>(size)) + " bytes; the picture needs " +
                       Num(needed));
  }
  const std::vector<int32_t> order = PlacementOrder(seed, target.Height());
  const size_t row_size = static_cast<size_t>(target.RowSize());
  for (int32_t k = 0; k < target.Height(); ++k) {
    std::memcpy(target.ScanLine(order[k]), data + row_size * static_cast<size_t>(k), row_size);
  }
}

void CopyBlockBytes(const TDIBSurface& source, int32_t source_left, int32_t source_top, TDIBSurface& target,
                    int32_t left, int32_t top, int32_t w, int32_t h, const std::string& what) {
  const int32_t bits = target.BitCount();
  const int64_t bytes = BlockRowBytes(w, bits);
  const int64_t from = int64_t{source_left} * bits / 8, to = int64_t{left} * bits / 8;
  if (source_left < 0 || source_top < 0 || from + bytes > source.RowSize() ||
      int64_t{source_top} + h > source.Height() || left < 0 || top < 0 || to + bytes > target.RowSize() ||
      int64_t{top} + h > target.Height()) {
    throw EFormatError(what + ": a block copies from or to outside its picture");
  }
  for (int32_t i = 0; i < h; ++i) {
    std::memmove(target.ScanLine(top + i) + to, source.ScanLine(source_top + i) + from,
                 static_cast<size_t>(bytes));
  }
}

void DecodeBlocks(const uint8_t* data, size_t size, const BlockGrid& grid, bool shuffled, int32_t key,
                  TDIBSurface& target, const ReferenceSource& reference, const std::string& what) {
  const int64_t count = grid.Count();
  const int64_t table_bytes = count * int64_t{sizeof(BlockEntry)};
  if (static_cast<int64_t>(size) < table_bytes) {
    throw EFormatError(what + " is shorter than its block table (" + Num(count) + " blocks)");
  }
  std::vector<BlockEntry> table(static_cast<size_t>(count));
  if (shuffled) {
    const std::vector<int32_t> order = PlacementOrder(key, static_cast<int32_t>(count));
    for (int64_t k = 0; k < count; ++k) std::memcpy(&table[order[k]], data + k * 8, 8);
  } else if (count > 0) {
    std::memcpy(table.data(), data, static_cast<size_t>(table_bytes));
  }
  size_t pos = static_cast<size_t>(table_bytes);
  const int32_t bits = target.BitCount();
  const int64_t block_stride = BlockRowBytes(grid.block_width, bits);
  for (int64_t t = 0; t < count; ++t) {
    const int32_t tx = static_cast<int32_t>(t % grid.tiles_x), ty = static_cast<int32_t>(t / grid.tiles_x);
    const int32_t x = static_cast<int32_t>(int64_t{tx} * grid.block_width);
    const int32_t y = static_cast<int32_t>(int64_t{ty} * grid.block_height);
    const int32_t w = std::min(grid.block_width, target.Width() - x);
    const int32_t h = std::min(grid.block_height, target.Height() - y);
    const BlockEntry entry = table[static_cast<size_t>(t)];
    if (entry.tag == kLiteralBlock) {
      const int64_t row_bytes = BlockRowBytes(w, bits);
      const int64_t offset = tx * block_stride;
      if (offset + row_bytes > target.RowSize()) {
        throw EFormatError(what + ": block " + Num(t) + " lies outside the picture's rows");
      }
      if (static_cast<int64_t>(size - pos) < row_bytes * h) {
        throw EFormatError(what + " ends inside block " + Num(t));
      }
      for (int32_t i = 0; i < h; ++i) {
        std::memcpy(target.ScanLine(y + i) + offset, data + pos, static_cast<size_t>(row_bytes));
        pos += static_cast<size_t>(row_bytes);
      }
    } else if (entry.tag == kRepeatBlock) {
      if (entry.index < 0 || entry.index >= count) {
        throw EFormatError(what + ": block " + Num(t) + " repeats block " + Num(entry.index) +
                           ", which does not exist");
      }
      const int32_t sx = static_cast<int32_t>(int64_t{entry.index % grid.tiles_x} * grid.block_width);
      const int32_t sy = static_cast<int32_t>(int64_t{entry.index / grid.tiles_x} * grid.block_height);
      CopyBlockBytes(target, sx, sy, target, x, y, w, h, what);
    } else {
      const TDIBSurface& source = reference(entry.tag, entry.index);
      CopyBlockBytes(source, x, y, target, x, y, w, h, what);
    }
  }
}

}  // namespace vn::ruxa
