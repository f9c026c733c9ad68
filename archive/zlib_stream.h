// zlib-format (RFC 1950) compression of whole memory streams, as archive entries and picture planes
// store it. Damaged data raises EFormatError with zlib's reason.
#pragma once

#include <cstddef>

#include "archive/stream.h"

namespace vn {

// Replaces the stream's content by its decompression; position 0 afterwards.
void DecompressMemoryStream(TMemoryStream& stream);
// Inflates one zlib stream and writes the content to target in pieces; returns the content length.
int64_t InflateToStream(const char* data, size_t length, TStream& target);

// Level indices: 0 none, 1 fastest, 2 zlib's default (6), 3 best.
void CompressMemoryStream(TMemoryStream& stream, int level_index);

}  // namespace vn
