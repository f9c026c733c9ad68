#include "imaging/picture_file.h"

#include <string>

#include "imaging/bmp_file.h"
#include "imaging/tga_file.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace vn {

namespace {

enum class TPictureKind { kBitmap, kTga, kIcon, kCursor };

TPictureKind KindOf(const std::filesystem::path& file) {
  std::string ext = PathToUtf8(file.extension());
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (ext == ".tga") return TPictureKind::kTga;
  if (ext == ".ico") return TPictureKind::kIcon;
  if (ext == ".cur") return TPictureKind::kCursor;
  return TPictureKind::kBitmap;
}

}  // namespace

TPictureLoadResult LoadPictureFile(const std::filesystem::path& file, TDIBSurface& target,
                                   const TPictureLoadOptions& options) {
  target.Clear();
  const std::string bytes = ReadWholeFile(file, TDIBSurface::kMaxFileBytes);
  TPictureLoadResult result;
  try {
    switch (KindOf(file)) {
      case TPictureKind::kTga:
        result.transparent = ReadTga(bytes, target, options.keep_alpha);
        break;
      case TPictureKind::kIcon:
      case TPictureKind::kCursor:
        result = ReadIcon(bytes, target, options);
        break;
      case TPictureKind::kBitmap:
        ReadBmp(bytes, target, options.keep_alpha);
        break;
    }
  } catch (const EFormatError& e) {
    target.Clear();
    throw EFormatError(PathToUtf8(file) + ": " + e.what());
  }
  return result;
}

}  // namespace vn
