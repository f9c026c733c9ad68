// The search for the discs of a set: the one place that decides which folder or disc image is disc
// N of a title, for the install engine at the disc change and for the check an unattended run makes
// before copying. Each place passed over comes with the reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/disc_files.h"
#include "platform/text.h"
#include "settings/settings.h"

namespace vn {

// The disc in `place` when its install.dat makes it disc `index` of the game titled `title`; none
// otherwise, with the reason in `refused` (another title, another disc, an installed copy, or what
// is wrong with a place that cannot be read). The install.dat is loaded into `disc` (over what it
// holds).
std::unique_ptr<DiscFiles> OpenDiscOfSet(const std::filesystem::path& place, int32_t index,
                                         const DataString& title, TVondInstallSet& disc,
                                         std::string* refused = nullptr);

struct DiscSearch {
  std::unique_ptr<DiscFiles> files;  // the disc found; null when none
  std::filesystem::path place;
  TVondInstallSet settings;  // its install.dat, loaded over the settings given
  // Every place looked at and passed over, with the reason.
  std::vector<std::pair<std::filesystem::path, std::string>> refused;
  // A place that could not be read was among them (a damaged image or settings file).
  bool unreadable = false;
};

// Looks for disc `index` of `base`'s title in each of `known` and then beside each, in that order.
DiscSearch FindDiscOfSet(const std::vector<std::filesystem::path>& known, int32_t index,
                         const TVondInstallSet& base);

}  // namespace vn
