// The fixed parts of the RXA stream shared by the loader and the encoder.
#pragma once

#include <cstdint>

namespace vn::ruxa {

constexpr int32_t kCompressionZlib = 0;
constexpr int32_t kCompressionNone = 1;
constexpr int32_t kCompressionJpeg = 2;

// The header record of version 103 and later, 40 bytes after the header size.
#pragma pack(push, 1)
struct HeaderRecord {
  int32_t version;
  uint8_t unused1[12];
  int32_t frame_count;
  uint8_t unused2;
  uint8_t shuffled;
  uint8_t compression;
  uint8_t unused3;
  uint32_t background_color;
  int32_t block_width;
  int32_t block_height;
  uint8_t bottom_layer_opaque;
  uint8_t unused4[3];
};
#pragma pack(pop)
static_assert(sizeof(HeaderRecord) == 40);

}  // namespace vn::ruxa
