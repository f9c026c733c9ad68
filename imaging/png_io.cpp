#include "imaging/png_io.h"

#include <png.h>
#include <zlib.h>
#ifdef VN_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/error.h"

namespace vn {

namespace {

// Room for libpng's message of a fatal error.
constexpr size_t kMessageSize = 200;

// libpng reports fatal errors here, its error pointer being the message buffer of the reader or
// writer; the jump goes back to the setjmp of the stage that runs.
void OnError(png_structp png, png_const_charp message) {
  std::snprintf(static_cast<char*>(png_get_error_ptr(png)), kMessageSize, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct ReadContext {
  std::string_view bytes;
  size_t position = 0;
  char message[kMessageSize] = "";
};

void OnRead(png_structp png, png_bytep out, size_t size) {
  auto* context = static_cast<ReadContext*>(png_get_io_ptr(png));
  if (context->bytes.size() - context->position < size) png_error(png, "the file ends early");
  std::memcpy(out, context->bytes.data() + context->position, size);
  context->position += size;
}

// The stored samples as 8-bit blue, green, red, alpha (255 without alpha): palettes and grey
// expanded, 16-bit samples scaled, a transparent colour made alpha. No gamma or other colour
// conversion: the samples are what the picture's maker stored, and what other tools show.
// C-style on purpose: libpng leaves by longjmp, so no C++ object may live in this frame.
bool ReadPngHeader(png_structp png, png_infop info, png_uint_32* width, png_uint_32* height, bool* alpha) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  *alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 ||
           png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  if (png_get_rowbytes(png, info) != size_t{*width} * 4) png_error(png, "unexpected row layout");
  return true;
}

bool ReadPngRows(png_structp png, png_bytep* rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

// Owns libpng's read structures.
struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

}  // namespace

void ReadPng(std::string_view bytes, TDIBSurface& target) {
  ReadContext context;
  context.bytes = bytes;
  if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) {
    throw EFormatError("not a readable PNG: no PNG signature");
  }
  PngReader reader;
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, context.message, OnError, OnWarning);
  if (!reader.png) throw EFormatError("libpng cannot start");
  reader.info = png_create_info_struct(reader.png);
  if (!reader.info) throw EFormatError("libpng cannot start");
  png_set_read_fn(reader.png, &context, OnRead);
  png_uint_32 width = 0, height = 0;
  bool has_alpha = false;
  if (!ReadPngHeader(reader.png, reader.info, &width, &height, &has_alpha)) {
    throw EFormatError(std::string("not a readable PNG: ") + context.message);
  }
  if (width > uint32_t{TDIBSurface::kMaxSide} || height > uint32_t{TDIBSurface::kMaxSide} ||
      int64_t{width} * height * 4 > TDIBSurface::kMaxBytes) {
    throw EFormatError("PNG of " + std::to_string(width) + " x " + std::to_string(height) +
                       " pixels is larger than this program accepts");
  }
  // Every row takes at least its filter byte and one bit per pixel once inflated, and zlib expands
  // at most 1032 times: a file too short for that is refused before its picture is allocated.
  const int64_t least_inflated = int64_t{height} * (1 + (int64_t{width} + 7) / 8);
  if (static_cast<int64_t>(bytes.size()) * 1032 < least_inflated) {
    throw EFormatError("PNG of " + std::to_string(width) + " x " + std::to_string(height) +
                       " pixels in only " + std::to_string(bytes.size()) + " bytes");
  }
  std::vector<uint8_t> pixels(size_t{width} * height * 4);
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + size_t{y} * width * 4;
  if (!ReadPngRows(reader.png, rows.data()))
    throw EFormatError(std::string("damaged PNG: ") + context.message);

  target.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height), 24);
  if (has_alpha) {
    target.EnsureAlphaPlane();
  } else {
    target.FreeAlphaPlane();
  }
  for (int32_t y = 0; y < target.Height(); ++y) {
    const uint8_t* src = rows[static_cast<size_t>(y)];
    uint8_t* dst = target.ScanLine(y);
    uint8_t* a = has_alpha ? target.AlphaPlane()->ScanLine(y) : nullptr;
    for (int32_t x = 0; x < target.Width(); ++x, src += 4) {
      dst[3 * x] = src[0];
      dst[3 * x + 1] = src[1];
      dst[3 * x + 2] = src[2];
      if (a) a[x] = src[3];
    }
  }
}

namespace {

struct WriteContext {
  std::string out;
  bool failed = false;
  char message[kMessageSize] = "";
};

void OnWrite(png_structp png, png_bytep data, size_t size) {
  auto* context = static_cast<WriteContext*>(png_get_io_ptr(png));
  try {
    context->out.append(reinterpret_cast<const char*>(data), size);
  } catch (...) {
    context->failed = true;
  }
  if (context->failed) png_error(png, "out of memory");
}

void OnFlush(png_structp) {}

// C-style on purpose: libpng leaves by longjmp, so no C++ object may live in this frame. libpng
// writes the signature, the header and the chunks around the image data, which comes compressed.
bool WriteChunks(png_structp png, png_infop info, int32_t width, int32_t height, bool rgba,
                 const unsigned char* idat, size_t idat_size) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  // A chunk holds at most 2^31 - 1 bytes; the image data may span several.
  constexpr size_t kLargestChunk = 0x7FFFFFFF;
  for (size_t at = 0; at < idat_size; at += kLargestChunk) {
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), idat + at,
                    idat_size - at < kLargestChunk ? idat_size - at : kLargestChunk);
  }
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  return true;
}

// The image data before compression: each row as the Sub filter gives it (every byte minus the
// same byte of the pixel to its left), colours in the file's order red, green, blue (and alpha).
std::vector<uint8_t> SubFilteredRows(const TDIBSurface& source, const TDIBSurface* alpha) {
  const size_t width = static_cast<size_t>(source.Width());
  const size_t channels = alpha ? 4 : 3;
  const size_t stride = 1 + width * channels;
  std::vector<uint8_t> rows(stride * static_cast<size_t>(source.Height()));
  for (int32_t y = 0; y < source.Height(); ++y) {
    const uint8_t* s = source.ScanLine(y);
    const uint8_t* a = alpha ? alpha->ScanLine(y) : nullptr;
    uint8_t* d = rows.data() + static_cast<size_t>(y) * stride;
    *d++ = 1;  // filter type Sub
    uint8_t r0 = 0, g0 = 0, b0 = 0, a0 = 0;
    for (size_t x = 0; x < width; ++x, s += 3) {
      const uint8_t r = s[2], g = s[1], b = s[0];
      *d++ = static_cast<uint8_t>(r - r0);
      *d++ = static_cast<uint8_t>(g - g0);
      *d++ = static_cast<uint8_t>(b - b0);
      r0 = r, g0 = g, b0 = b;
      if (a) {
        *d++ = static_cast<uint8_t>(a[x] - a0);
        a0 = a[x];
      }
    }
  }
  return rows;
}

// The zlib stream of the image data. Speed over size: the Sub filter with libdeflate's fastest level
// is as fast as zlib's Huffman-only deflate (which this writer used before) and gives files about 7 %
// smaller; zlib's default level would save a further tenth at several times the cost.
// Where libdeflate is not available (the Windows build), zlib's Huffman-only deflate serves.
std::vector<unsigned char> CompressImageData(const std::vector<uint8_t>& rows) {
#ifdef VN_HAVE_LIBDEFLATE
  std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(1), libdeflate_free_compressor);
  if (!compressor) throw EFormatError("PNG encoding failed: out of memory");
  std::vector<unsigned char> out(libdeflate_zlib_compress_bound(compressor.get(), rows.size()));
  const size_t size =
      libdeflate_zlib_compress(compressor.get(), rows.data(), rows.size(), out.data(), out.size());
  if (size == 0) throw EFormatError("PNG encoding failed: the compressed data does not fit");
  out.resize(size);
  return out;
#else
  z_stream z{};
  if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY) != Z_OK) {
    throw EFormatError("PNG encoding failed: zlib cannot start");
  }
  std::vector<unsigned char> out(deflateBound(&z, static_cast<uLong>(rows.size())));
  z.next_in = const_cast<Bytef*>(rows.data());
  z.avail_in = static_cast<uInt>(rows.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (result != Z_STREAM_END) throw EFormatError("PNG encoding failed: zlib could not finish");
  return out;
#endif
}

}  // namespace

std::string EncodePng(const TDIBSurface& source, bool with_alpha) {
  if (source.BitCount() != 24 || source.Empty()) throw EFormatError("PNG output needs a 24-bit picture");
  const TDIBSurface* alpha = with_alpha ? source.AlphaPlane() : nullptr;
  const std::vector<uint8_t> rows = SubFilteredRows(source, alpha);
  const std::vector<unsigned char> idat = CompressImageData(rows);
  const size_t idat_size = idat.size();

  WriteContext context;
  context.out.reserve(idat_size + 1024);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, context.message, OnError, OnWarning);
  if (!png) throw EFormatError("libpng cannot start");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw EFormatError("libpng cannot start");
  }
  png_set_write_fn(png, &context, OnWrite, OnFlush);
  const bool ok =
      WriteChunks(png, info, source.Width(), source.Height(), alpha != nullptr, idat.data(), idat_size);
  png_destroy_write_struct(&png, &info);
  if (!ok) throw EFormatError(std::string("PNG encoding failed: ") + context.message);
  return std::move(context.out);
}

}  // namespace vn
