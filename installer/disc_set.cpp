#include "installer/disc_set.h"

#include <set>

#include "platform/error.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// OpenDiscOfSet, telling also whether the place could not be read at all.
std::unique_ptr<DiscFiles> Examine(const fs::path& place, int32_t index, const DataString& title,
                                   TVondInstallSet& disc, std::string& reason, bool& unreadable) {
  std::unique_ptr<DiscFiles> files;
  try {
    files = OpenDiscFiles(place);
    if (!disc.LoadFromDisc(*files)) {
      reason = "no install.dat";
    } else if (disc.Installed) {
      reason = "an installed copy, no disc";
    } else if (disc.Title != title) {
      reason = "a disc of another title (" + Cp932ToUtf8Lossy(disc.Title) + ")";
    } else if (disc.DiscIndex != index) {
      reason = "disc " + std::to_string(disc.DiscIndex + 1) + " of the set";
    }
  } catch (const Exception& e) {
    reason = e.what();  // not a disc of ours, or a damaged image or settings file
    unreadable = true;
  }
  return reason.empty() ? std::move(files) : nullptr;
}

}  // namespace

std::unique_ptr<DiscFiles> OpenDiscOfSet(const fs::path& place, int32_t index, const DataString& title,
                                         TVondInstallSet& disc, std::string* refused) {
  std::string reason;
  bool unreadable = false;
  std::unique_ptr<DiscFiles> files = Examine(place, index, title, disc, reason, unreadable);
  if (!files && refused) *refused = reason;
  return files;
}

DiscSearch FindDiscOfSet(const std::vector<fs::path>& known, int32_t index, const TVondInstallSet& base) {
  std::vector<fs::path> places;
  for (const fs::path& place : known) places.push_back(FolderWithoutDelimiter(place));
  for (const fs::path& place : known) {
    const std::vector<fs::path> beside = DiscsBeside(FolderWithoutDelimiter(place));
    places.insert(places.end(), beside.begin(), beside.end());
  }
  DiscSearch search;
  std::set<fs::path> seen;
  for (const fs::path& place : places) {
    if (!seen.insert(place).second) continue;
    search.settings = base;
    std::string reason;
    if ((search.files = Examine(place, index, base.Title, search.settings, reason, search.unreadable))) {
      search.place = place;
      return search;
    }
    search.refused.emplace_back(place, reason);
  }
  search.settings = base;
  return search;
}

}  // namespace vn
