#include "imaging/ruxa_writer.h"

#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "imaging/jpeg_codec.h"
#include "imaging/ruxa_format.h"
#include "imaging/ruxa_planes.h"
#include "platform/error.h"

namespace vn {

namespace {

void Put(std::string& out, const void* data, size_t size) {
  out.append(static_cast<const char*>(data), size);
}
void PutInt(std::string& out, int32_t v) {
  Put(out, &v, 4);
}

// Rows layout: stored row k is picture row order[k].
std::string RowsPlane(const TDIBSurface& plane, int32_t seed) {
  std::string raw;
  raw.reserve(static_cast<size_t>(ruxa::RowsPlaneBytes(plane)));
  for (int32_t row : ruxa::PlacementOrder(seed, plane.Height()))
    Put(raw, plane.ScanLine(row), plane.RowSize());
  return raw;
}

// Block layout: a table entry per tile (stored in the key's order when shuffled), then the bytes
// of the literal tiles in tile order. A tile equal to an earlier tile of the same size is stored
// as a repeat of it; `repeats` is set when one is.
std::string BlocksPlane(const TDIBSurface& plane, const ruxa::BlockGrid& grid, bool shuffle, int32_t key,
                        bool& repeats) {
  const int32_t bits = plane.BitCount();
  const int64_t count = grid.Count();
  std::vector<ruxa::BlockEntry> entries(static_cast<size_t>(count));
  std::string literals;
  std::unordered_map<std::string, int32_t> seen;  // tile size and bytes -> first tile
  for (int64_t t = 0; t < count; ++t) {
    const int32_t tx = static_cast<int32_t>(t % grid.tiles_x), ty = static_cast<int32_t>(t / grid.tiles_x);
    const int32_t x = tx * grid.block_width, y = ty * grid.block_height;
    const int32_t w = std::min(grid.block_width, plane.Width() - x);
    const int32_t h = std::min(grid.block_height, plane.Height() - y);
    const size_t row_bytes = static_cast<size_t>(ruxa::BlockRowBytes(w, bits));
    std::string tile;
    tile.reserve(8 + row_bytes * static_cast<size_t>(h));
    PutInt(tile, w);
    PutInt(tile, h);
    for (int32_t i = 0; i < h; ++i) Put(tile, plane.ScanLine(y + i) + int64_t{x} * bits / 8, row_bytes);
    auto [it, inserted] = seen.emplace(std::move(tile), static_cast<int32_t>(t));
    if (inserted) {
      entries[static_cast<size_t>(t)] = {ruxa::kLiteralBlock, 0};
      literals.append(it->first, 8, std::string::npos);
    } else {
      entries[static_cast<size_t>(t)] = {ruxa::kRepeatBlock, it->second};
      repeats = true;
    }
  }
  std::string raw;
  const std::vector<int32_t> order = ruxa::PlacementOrder(shuffle ? key : 0, static_cast<int32_t>(count));
  for (int64_t k = 0; k < count; ++k) Put(raw, &entries[static_cast<size_t>(order[k])], 8);
  return raw + literals;
}

}  // namespace

std::string EncodeRuxa(const TDIBSurface& picture, const TRuxaEncodeOptions& options, bool* key_matters) {
  if (picture.BitCount() != 24 || picture.Empty()) throw EFormatError("the encoder takes a 24-bit picture");
  const bool jpeg = options.jpeg_quality != 0;
  if (jpeg && (options.jpeg_quality < 1 || options.jpeg_quality > 100)) {
    throw EFormatError("JPEG quality must lie between 1 and 100");
  }
  const bool blocks = options.block_width > 0 && options.block_height > 0 && !jpeg;
  if ((options.block_width != 0 || options.block_height != 0) && !blocks && !jpeg) {
    throw EFormatError("block sizes must both be positive");
  }

  ruxa::HeaderRecord record{};
  record.version = 106;
  record.frame_count = 1;
  record.shuffled = options.shuffle && !jpeg ? 1 : 0;
  record.compression = jpeg ? ruxa::kCompressionJpeg : ruxa::kCompressionZlib;
  record.block_width = blocks ? options.block_width : 0;
  record.block_height = blocks ? options.block_height : 0;

  const int32_t seed = record.shuffled ? options.key : 0;
  const ruxa::BlockGrid grid =
      blocks ? ruxa::MakeGrid(picture.Width(), picture.Height(), options.block_width, options.block_height)
             : ruxa::BlockGrid{};
  bool repeats = false;
  auto raw_plane = [&](const TDIBSurface& plane) {
    return blocks ? BlocksPlane(plane, grid, record.shuffled != 0, options.key, repeats)
                  : RowsPlane(plane, seed);
  };
  const std::string colour = [&] {
    if (jpeg) return EncodeJpeg(picture, options.jpeg_quality);
    const std::string raw = raw_plane(picture);
    return ruxa::Deflate(raw.data(), raw.size());
  }();
  std::string alpha;
  if (const TDIBSurface* plane = picture.AlphaPlane()) {
    // Beside a JPEG plane the alpha plane is always rows, unshuffled.
    const std::string raw = jpeg ? RowsPlane(*plane, 0) : raw_plane(*plane);
    alpha = ruxa::Deflate(raw.data(), raw.size());
  }

  if (key_matters) {
    // Shuffled rows land elsewhere under another key; a shuffled block table only moves its
    // entries, which are all alike ("literal, in tile order") unless some block repeats.
    *key_matters = record.shuffled && (blocks ? repeats : picture.Height() > 1);
  }

  std::string out = "Ruxa106";
  PutInt(out, sizeof record);
  Put(out, &record, sizeof record);
  // The frame.
  PutInt(out, 0);    // name length
  PutInt(out, -1);   // colour key
  PutInt(out, 0);    // delay
  out.push_back(0);  // option
  PutInt(out, 0);    // unused
  PutInt(out, 1);    // layer count
  PutInt(out, picture.Width());
  PutInt(out, picture.Height());
  PutInt(out, 24);
  // Its layer.
  out.append(8, '\0');
  out.push_back(1);                      // visible
  PutInt(out, -1);                       // colour key
  PutInt(out, 255);                      // opacity
  out.push_back(alpha.empty() ? 0 : 1);  // alpha on
  PutInt(out, 0);                        // name length
  if (colour.size() > INT32_MAX || alpha.size() > INT32_MAX) throw EFormatError("picture too large to store");
  PutInt(out, static_cast<int32_t>(colour.size()));
  out += colour;
  PutInt(out, static_cast<int32_t>(alpha.size()));
  out += alpha;
  PutInt(out, 0);  // extra lists
  PutInt(out, 0);
  return out;
}

}  // namespace vn
