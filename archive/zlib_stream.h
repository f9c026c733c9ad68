// zlib-format (RFC 1950) compression of whole memory streams, as archive entries and picture planes
// store it. Damaged data raises EFormatError with zlib's reason.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "archive/stream.h"

namespace vn {

// Inflates one zlib stream handed in as pieces, as they are read.
class ZlibInflater {
 public:
  ZlibInflater();
  ~ZlibInflater();
  ZlibInflater(const ZlibInflater&) = delete;
  ZlibInflater& operator=(const ZlibInflater&) = delete;

  // Starts on a new stream.
  void Reset();
  // Inflates the next piece of the stream, handing the content to `out` as it comes; bytes after
  // the stream's end are passed over. Damaged data raises EFormatError.
  void Write(const char* data, size_t length, const std::function<void(const char*, size_t)>& out);
  // Whether the stream has ended (its Adler-32 checked).
  bool Ended() const;
  // Raises EFormatError "compressed data is cut short" when the stream has not ended.
  void Finish() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Replaces the stream's content by its decompression; position 0 afterwards.
void DecompressMemoryStream(TMemoryStream& stream);
// Inflates one zlib stream and writes the content to target in pieces; returns the content length.
int64_t InflateToStream(const char* data, size_t length, TStream& target);

// Level indices: 0 none, 1 fastest, 2 zlib's default (6), 3 best.
void CompressMemoryStream(TMemoryStream& stream, int level_index);
// The length of the zlib stream CompressMemoryStream would make of these bytes.
size_t CompressedLength(const char* data, size_t length, int level_index);

}  // namespace vn
