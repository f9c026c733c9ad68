// The one look into RXA pictures the archive packer needs: whether a picture stores its planes
// uncompressed (then packing compresses it; every other RXA picture is already compact).
#pragma once

#include "archive/stream.h"

namespace vn {

// Reads the signature "Ruxa" + three digits at the stream's position; for version 103 and later
// reads the header record and answers whether its compression byte (offset 22) is 1 (none). False
// for anything else. The position is left where reading stopped.
bool IsUncompressedRxa(TStream& stream);

}  // namespace vn
