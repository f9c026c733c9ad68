#include "imaging/jpeg_codec.h"

// clang-format off
#include <cstdio>
#include <csetjmp>
#include <cstdlib>
#include <jpeglib.h>
// clang-format on

#include "platform/error.h"

namespace vn {

namespace {

// libjpeg reports a fatal error by calling error_exit, which by default ends the process. Ours
// records the message and jumps back to the setjmp of the C-style function that made the call;
// those functions hold no C++ objects, so nothing is skipped that needs destroying.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings (such as a stream that ends early: the rest of the picture stays grey) are not fatal,
// and a library must not print; they are dropped.
void OnMessage(j_common_ptr, int) {}

void InitErrors(ErrorManager& manager) {
  jpeg_std_error(&manager.pub);
  manager.pub.error_exit = OnError;
  manager.pub.emit_message = OnMessage;
  manager.message[0] = '\0';
}

// The decoder state lives outside the setjmp functions so that it is destroyed on every path.
struct Decompressor {
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  bool created = false;
  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

bool ReadHeader(Decompressor* d, const uint8_t* data, size_t size) {
  if (setjmp(d->errors.jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d->cinfo, TRUE);
  return true;
}

// Decodes every row into rows top..bottom, first_row + y * step bytes apart.
bool ReadRows(Decompressor* d, uint8_t* first_row, std::ptrdiff_t step, int32_t height,
              const std::function<void(int32_t)>* on_rows) {
  if (setjmp(d->errors.jump)) return false;
  jpeg_decompress_struct* cinfo = &d->cinfo;
  cinfo->out_color_space = JCS_EXT_BGR;  // the byte order of 24-bit surface rows
  cinfo->dct_method = JDCT_ISLOW;
  cinfo->do_fancy_upsampling = TRUE;
  cinfo->do_block_smoothing = TRUE;
  cinfo->scale_num = 1;
  cinfo->scale_denom = 1;
  jpeg_start_decompress(cinfo);
  if (cinfo->output_components != 3 || cinfo->output_width != cinfo->image_width ||
      static_cast<int64_t>(cinfo->output_height) != height) {
    std::snprintf(d->errors.message, sizeof d->errors.message, "unexpected JPEG output form");
    return false;
  }
  constexpr JDIMENSION kRowsPerReport = 16;
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = first_row + step * static_cast<std::ptrdiff_t>(cinfo->output_scanline);
    jpeg_read_scanlines(cinfo, &row, 1);
    if (*on_rows && cinfo->output_scanline % kRowsPerReport == 0) {
      (*on_rows)(static_cast<int32_t>(cinfo->output_scanline));
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

struct Compressor {
  jpeg_compress_struct cinfo{};
  ErrorManager errors{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool created = false;
  ~Compressor() {
    if (created) jpeg_destroy_compress(&cinfo);
    std::free(buffer);
  }
};

bool WriteRows(Compressor* c, const TDIBSurface* source, int quality) {
  if (setjmp(c->errors.jump)) return false;
  jpeg_compress_struct* cinfo = &c->cinfo;
  jpeg_create_compress(cinfo);
  c->created = true;
  jpeg_mem_dest(cinfo, &c->buffer, &c->size);
  cinfo->image_width = static_cast<JDIMENSION>(source->Width());
  cinfo->image_height = static_cast<JDIMENSION>(source->Height());
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  cinfo->dct_method = JDCT_ISLOW;
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    // ScanLine cannot fail here: next_scanline < Height.
    JSAMPROW row = const_cast<JSAMPROW>(source->ScanLine(static_cast<int32_t>(cinfo->next_scanline)));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

void DecodeJpegPlane(const uint8_t* data, size_t size, int32_t expected_width, int32_t expected_height,
                     TDIBSurface& target, const std::function<void(int32_t rows)>& on_rows) {
  Decompressor d;
  InitErrors(d.errors);
  d.cinfo.err = &d.errors.pub;
  if (!ReadHeader(&d, data, size)) throw EFormatError(std::string("JPEG plane: ") + d.errors.message);
  if (static_cast<int64_t>(d.cinfo.image_width) != expected_width ||
      static_cast<int64_t>(d.cinfo.image_height) != expected_height) {
    throw EFormatError("JPEG plane of " + std::to_string(d.cinfo.image_width) + " x " +
                       std::to_string(d.cinfo.image_height) + " pixels in a picture of " +
                       std::to_string(expected_width) + " x " + std::to_string(expected_height));
  }
  target.SetSize(expected_width, expected_height, 24);
  if (target.Empty()) return;
  if (!ReadRows(&d, target.ScanLine(0), target.RowStep(), target.Height(), &on_rows)) {
    throw EFormatError(std::string("JPEG plane: ") + d.errors.message);
  }
  if (on_rows) on_rows(target.Height());
}

std::string EncodeJpeg(const TDIBSurface& source, int quality) {
  if (source.BitCount() != 24 || source.Empty()) throw EFormatError("JPEG needs a 24-bit picture");
  Compressor c;
  InitErrors(c.errors);
  c.cinfo.err = &c.errors.pub;
  if (!WriteRows(&c, &source, quality)) throw EFormatError(std::string("JPEG encoding: ") + c.errors.message);
  return std::string(reinterpret_cast<const char*>(c.buffer), c.size);
}

}  // namespace vn
