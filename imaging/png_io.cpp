#include "imaging/png_io.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "imaging/png_bands.h"
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
  // An ancillary chunk (text, profile) that claims or inflates to more than this is damage: libpng
  // would otherwise allocate whatever its length field says.
  png_set_chunk_malloc_max(reader.png, 16u << 20);
  // The ancillary chunks this reader has no use for (text, profiles, times, rendering hints) are
  // skipped unread: libpng allocates what a text chunk's length field claims before it reads the
  // chunk, and a length over the limit above is only a warning to it.
  static constexpr png_byte kSkipped[] =
      "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL\0hIST\0tIME\0bKGD\0cHRM\0gAMA\0oFFs\0pHYs\0sBIT\0sRGB";
  png_set_keep_unknown_chunks(reader.png, PNG_HANDLE_CHUNK_NEVER, kSkipped, sizeof kSkipped / 5);
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
  const ByteSink* sink = nullptr;
  std::exception_ptr failure;  // what the sink raised
  char message[kMessageSize] = "";
};

void OnWrite(png_structp png, png_bytep data, size_t size) {
  auto* context = static_cast<WriteContext*>(png_get_io_ptr(png));
  try {
    (*context->sink)(data, size);
  } catch (...) {
    context->failure = std::current_exception();
  }
  if (context->failure) png_error(png, "the output cannot be written");
}

void OnFlush(png_structp) {}

// C-style on purpose: libpng leaves by longjmp, so no C++ object may live in these frames. libpng
// writes the signature, the header and the chunks around the image data, which comes compressed.
bool WriteHeader(png_structp png, png_infop info, int32_t width, int32_t height, bool rgba) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  return true;
}

// The image data may span any number of chunks; one holds at most 2^31 - 1 bytes.
bool WriteImageData(png_structp png, const uint8_t* data, size_t size) {
  if (setjmp(png_jmpbuf(png))) return false;
  constexpr size_t kLargestChunk = 0x7FFFFFFF;
  for (size_t at = 0; at < size; at += kLargestChunk) {
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), data + at,
                    size - at < kLargestChunk ? size - at : kLargestChunk);
  }
  return true;
}

bool WriteEnd(png_structp png) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  return true;
}

// Owns libpng's write structures.
struct PngWriter {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngWriter() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

[[noreturn]] void WriteFailed(const WriteContext& context) {
  if (context.failure) std::rethrow_exception(context.failure);
  throw EFormatError(std::string("PNG encoding failed: ") + context.message);
}

}  // namespace

// The image data comes filtered and compressed band by band (png_bands.h) and goes out as one IDAT
// chunk per band, so that neither the filtered picture nor the compressed one is ever held whole
// (but for pictures that compress very well, which are compressed in one piece).
void WritePng(const TDIBSurface& source, bool with_alpha, const ByteSink& sink,
              const std::function<void(int32_t rows)>& rows_ready) {
  if (source.BitCount() != 24 || source.Empty()) throw EFormatError("PNG output needs a 24-bit picture");
  const TDIBSurface* alpha = with_alpha ? source.AlphaPlane() : nullptr;
  WriteContext context;
  context.sink = &sink;
  PngWriter writer;
  writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, context.message, OnError, OnWarning);
  if (!writer.png) throw EFormatError("libpng cannot start");
  writer.info = png_create_info_struct(writer.png);
  if (!writer.info) throw EFormatError("libpng cannot start");
  png_set_write_fn(writer.png, &context, OnWrite, OnFlush);
  if (!WriteHeader(writer.png, writer.info, source.Width(), source.Height(), alpha != nullptr)) {
    WriteFailed(context);
  }
  png::CompressImageData(
      source, alpha,
      [&](const uint8_t* data, size_t size) {
        if (!WriteImageData(writer.png, data, size)) WriteFailed(context);
      },
      rows_ready);
  if (!WriteEnd(writer.png)) WriteFailed(context);
}

std::string EncodePng(const TDIBSurface& source, bool with_alpha) {
  std::string out;
  WritePng(source, with_alpha,
           [&](const void* data, size_t size) { out.append(static_cast<const char*>(data), size); });
  return out;
}

}  // namespace vn
