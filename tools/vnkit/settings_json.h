// The settings object from JSON in the form `vnkit settings show --json` prints, for the commands
// that build settings files.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "settings/settings.h"

namespace vn::cli {

// Raises EFormatError naming `source` and the key for an unknown key, a value of the wrong kind,
// text without a Shift-JIS form, or per-disc arrays that disagree.
TVondInstallSet SettingsFromJson(const nlohmann::ordered_json& j, const std::string& source);

}  // namespace vn::cli
