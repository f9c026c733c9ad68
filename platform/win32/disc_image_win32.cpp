// Windows opens disc images itself (Explorer mounts them as a drive), so the program reads none.
#include "messages/messages.h"
#include "platform/disc_image.h"

#include "platform/error.h"
#include "platform/paths.h"

namespace vn {

struct DiscImage::Reader {};

bool LooksLikeDescribedImage(const std::filesystem::path&) {
  return false;
}

DiscImage::DiscImage(const std::filesystem::path& image) : image_(image) {
  throw EFOpenError(Tr(Msg::kMountDiscImage, {PathToUtf8(image)}));
}

DiscImage::~DiscImage() = default;

File DiscImage::OpenFile(const DiscImageEntry&) const {
  return File();
}

void DiscImage::ExtractTo(const std::filesystem::path&,
                          const std::function<bool(const DiscImageEntry&)>&) const {}

}  // namespace vn
