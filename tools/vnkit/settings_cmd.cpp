// vnkit settings show FILE [--json] / vnkit settings build JSON -o FILE: install.dat as text.
#include <iostream>
#include <iterator>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <tuple>
#include <variant>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/cli.h"
#include "tools/vnkit/json_text.h"
#include "tools/vnkit/settings_json.h"

namespace vn::cli {
namespace {

using Json = nlohmann::ordered_json;
using S = TVondInstallSet;

// Every field of the settings object, in declaration order. DiscCount (the monostate) is read
// and set through the object's accessors because it sizes the per-disc arrays.
using Member = std::variant<std::monostate, int32_t S::*, uint8_t S::*, int64_t S::*, bool S::*,
                            DataString S::*, std::vector<DataString> S::*, std::vector<int64_t> S::*>;
struct Field {
  const char* name;
  Member member;
};
const Field kFields[] = {
    {"DiscCount", std::monostate{}},
    {"InstalledFiles", &S::InstalledFiles},
    {"WizardCaption", &S::WizardCaption},
    {"DiscIndex", &S::DiscIndex},
    {"Title", &S::Title},
    {"FooterText", &S::FooterText},
    {"DefaultFolder", &S::DefaultFolder},
    {"ReadmeName", &S::ReadmeName},
    {"InstallType", &S::InstallType},
    {"ShowReadme", &S::ShowReadme},
    {"BackgroundPicture", &S::BackgroundPicture},
    {"BackgroundMode", &S::BackgroundMode},
    {"ExeName", &S::ExeName},
    {"PictureKey", &S::PictureKey},
    {"OfferRuntimes", &S::OfferRuntimes},
    {"ReservedFlag", &S::ReservedFlag},
    {"MediaName", &S::MediaName},
    {"RegistryKey", &S::RegistryKey},
    {"DiscProgSize", &S::DiscProgSize},
    {"DiscDataSize", &S::DiscDataSize},
    {"DiscSoundSize", &S::DiscSoundSize},
    {"DiscMovieSize", &S::DiscMovieSize},
    {"ProgSize", &S::ProgSize},
    {"DataSize", &S::DataSize},
    {"SoundSize", &S::SoundSize},
    {"MovieSize", &S::MovieSize},
    {"Installed", &S::Installed},
    {"UpdateMode", &S::UpdateMode},
    {"DataInstalled", &S::DataInstalled},
    {"SeparateFiles", &S::SeparateFiles},
    {"DiscFiles", &S::DiscFiles},
    {"HelloText", &S::HelloText},
    {"LicenseText", &S::LicenseText},
};

template <typename... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// --- show --json ------------------------------------------------------------------------------

Json ToJson(const S& s, const TSettingsFileForm& form) {
  Json j;
  j["Version"] = form.version;
  for (const Field& f : kFields) {
    std::visit(Overloaded{
                   [&](std::monostate) { j[f.name] = s.DiscCount(); },
                   [&](DataString S::*m) { j[f.name] = TextToJson(s.*m); },
                   [&](std::vector<DataString> S::*m) {
                     // the list as stored, with the empty InstalledFiles entries reading leaves out
                     const std::vector<DataString> entries =
                         m == &S::InstalledFiles ? form.StoredInstalledFiles(s.*m) : s.*m;
                     Json list = Json::array();
                     for (const DataString& entry : entries) list.push_back(TextToJson(entry));
                     j[f.name] = std::move(list);
                   },
                   [&](bool S::*m) {
                     // a flag stored as another byte than 0 or 1 shows that byte
                     const auto odd = form.flag_bytes.find(f.name);
                     if (odd != form.flag_bytes.end()) {
                       j[f.name] = odd->second;
                     } else {
                       j[f.name] = s.*m;
                     }
                   },
                   [&](auto m) { j[f.name] = s.*m; },
               },
               f.member);
  }
  // How the file spells what the fields do not keep apart, where it is not the usual way.
  Json file_form = Json::object();
  if (form.header != TSettingsFileForm::CanonicalHeader(form.version))
    file_form["Header"] = TextToJson(DataString(form.header));
  if (!form.negative_lengths.empty()) {
    Json lengths = Json::object();
    for (const auto& [field, length] : form.negative_lengths) lengths[field] = length;
    file_form["NegativeLengths"] = std::move(lengths);
  }
  if (!form.trailing.empty()) file_form["Trailing"] = TextToJson(DataString(form.trailing));
  if (!file_form.empty()) j["FileForm"] = std::move(file_form);
  return j;
}

// --- show (listing) ---------------------------------------------------------------------------

constexpr int kNameWidth = 19;

void Line(std::string& out, std::string_view name, std::string_view value) {
  std::string label(name);
  label.resize(kNameWidth, ' ');
  // Multi-line values continue under the value column.
  size_t start = 0;
  for (;;) {
    size_t end = value.find('\n', start);
    std::string_view part =
        value.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!part.empty() && part.back() == '\r') part.remove_suffix(1);
    out += label;
    out += part;
    out += '\n';
    if (end == std::string_view::npos) break;
    start = end + 1;
    label.assign(kNameWidth, ' ');
  }
}

// A text for the terminal: line by line ("\r\n" or "\n" between lines), each shown as `list` shows
// names, so that control characters (a hostile title's escape sequences) and bytes that are no
// character appear as \xNN.
std::string Shown(const DataString& s) {
  if (s.empty()) return "(empty)";
  const std::string& bytes = s.bytes();
  std::string out;
  for (size_t start = 0;;) {
    const size_t end = bytes.find('\n', start);
    size_t line_end = end == std::string::npos ? bytes.size() : end;
    if (end != std::string::npos && line_end > start && bytes[line_end - 1] == '\r') --line_end;
    out += DisplayText(DataString(bytes.substr(start, line_end - start)));
    if (end == std::string::npos) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

std::string Described(uint8_t value, std::initializer_list<const char*> meanings, const char* other) {
  const char* meaning = value < meanings.size() ? meanings.begin()[value] : other;
  return std::to_string(value) + " (" + meaning + ")";
}

std::string Listing(const S& s, const std::string& file) {
  std::string out;
  Line(out, "File", file);
  Line(out, "Version", std::to_string(s.LoadedVersion()));
  for (const Field& f : kFields) {
    const std::string_view name = f.name;
    std::string value;
    std::visit(Overloaded{
                   [&](std::monostate) { value = std::to_string(s.DiscCount()); },
                   [&](DataString S::*m) { value = Shown(s.*m); },
                   [&](std::vector<DataString> S::*m) {
                     for (const DataString& entry : s.*m) {
                       if (!value.empty()) value += '\n';
                       value += Shown(entry);
                     }
                     if (value.empty()) value = "(none)";
                   },
                   [&](std::vector<int64_t> S::*m) {
                     for (int64_t size : s.*m) {
                       if (!value.empty()) value += ", ";
                       value += std::to_string(size);
                     }
                     if (value.empty()) value = "(no discs)";
                   },
                   [&](bool S::*m) { value = s.*m ? "yes" : "no"; },
                   [&](auto m) { value = std::to_string(s.*m); },
               },
               f.member);
    if (name == "WizardCaption" && s.WizardCaption.empty()) {
      value = "(empty: the caption is \"" + Shown(s.GetWizardCaption()) + "\")";
    } else if (name == "InstallType") {
      value = Described(s.InstallType, {"normal", "complete", "into the Windows folder"}, "unknown");
    } else if (name == "BackgroundMode") {
      value = Described(s.BackgroundMode, {"centred", "stretched", "tiled"}, "no picture drawn");
    }
    Line(out, name, value);
  }
  return out;
}

void Show(const std::string& file, bool json) {
  S settings;
  TSettingsFileForm form;
  settings.LoadFromFile(Utf8ToPath(file), form);
  if (json) {
    std::cout << ToJson(settings, form).dump(2) << '\n';
  } else {
    std::cout << Listing(settings, file);
  }
  std::cout.flush();
  if (!std::cout) throw EWriteError("cannot write to standard output");
}

// --- build ------------------------------------------------------------------------------------

class Builder {
 public:
  explicit Builder(std::string source) : source_(std::move(source)) {}

  // The settings, and in `form` the version and the spelling the file is written in.
  S Build(const Json& j, TSettingsFileForm& form) {
    if (!j.is_object()) Fail("", "the top level must be a JSON object");
    S s;
    form = TSettingsFileForm();
    std::optional<std::string> header;
    for (const auto& [key, value] : j.items()) {
      if (key == "Version") {
        // the layout to write, three places after "is" (negative ones read as old versions)
        form.version = Integer<int16_t>(key, value, -99, 999);
        continue;
      }
      if (key == "FileForm") {
        header = ReadFileForm(value, form);
        continue;
      }
      const Field* field = nullptr;
      for (const Field& f : kFields) {
        if (key == f.name) field = &f;
      }
      if (!field) Fail(key, "unknown key");
      std::visit(Overloaded{
                     [&](std::monostate) { disc_count_ = Integer<int32_t>(key, value); },
                     [&](int32_t S::*m) { s.*m = Integer<int32_t>(key, value); },
                     [&](uint8_t S::*m) { s.*m = Integer<uint8_t>(key, value); },
                     [&](int64_t S::*m) { s.*m = Integer<int64_t>(key, value); },
                     [&](bool S::*m) {
                       // true or false, or the byte a file stores (any but 0 is true)
                       if (value.is_boolean()) {
                         s.*m = value.get<bool>();
                         return;
                       }
                       if (!value.is_number_integer())
                         Fail(key, "expected true, false or a byte from 0 to 255");
                       const uint8_t byte = Integer<uint8_t>(key, value);
                       s.*m = byte != 0;
                       if (byte > 1) form.flag_bytes[key] = byte;
                     },
                     [&](DataString S::*m) { s.*m = Text(key, value); },
                     [&](std::vector<DataString> S::*m) {
                       if (!value.is_array()) Fail(key, "expected an array of strings");
                       auto& list = s.*m;
                       for (size_t i = 0; i < value.size(); ++i) {
                         list.push_back(Text(key + "[" + std::to_string(i) + "]", value[i]));
                       }
                     },
                     [&](std::vector<int64_t> S::*m) {
                       if (!value.is_array()) Fail(key, "expected an array of integers");
                       std::vector<int64_t> sizes;
                       for (size_t i = 0; i < value.size(); ++i) {
                         sizes.push_back(Integer<int64_t>(key + "[" + std::to_string(i) + "]", value[i]));
                       }
                       per_disc_.emplace_back(key, m, std::move(sizes));
                     },
                 },
                 field->member);
    }
    SetDiscs(s);
    form.header = header.value_or(TSettingsFileForm::CanonicalHeader(form.version));
    return s;
  }

 private:
  [[noreturn]] void Fail(const std::string& key, const std::string& what) const {
    throw EFormatError(source_ + (key.empty() ? "" : ": \"" + key + "\"") + ": " + what);
  }

  template <typename T>
  T Integer(const std::string& key, const Json& value, T lo = std::numeric_limits<T>::min(),
            T hi = std::numeric_limits<T>::max()) const {
    const bool fits = value.is_number_unsigned()  ? value.get<uint64_t>() <= static_cast<uint64_t>(hi)
                      : value.is_number_integer() ? value.get<int64_t>() >= static_cast<int64_t>(lo) &&
                                                        value.get<int64_t>() <= static_cast<int64_t>(hi)
                                                  : false;
    if (!fits) {
      Fail(key, "expected an integer from " + std::to_string(+lo) + " to " + std::to_string(+hi));
    }
    return value.get<T>();
  }

  DataString Text(const std::string& key, const Json& value) const {
    DataString out;
    std::string why;
    if (!TextFromJson(value, out, why)) Fail(key, why);
    return out;
  }

  // "FileForm": how the file spells what the fields do not keep apart; returns its header, if given.
  std::optional<std::string> ReadFileForm(const Json& value, TSettingsFileForm& form) const {
    if (!value.is_object()) Fail("FileForm", "expected an object");
    std::optional<std::string> header;
    for (const auto& [key, part] : value.items()) {
      const std::string name = "FileForm." + key;
      if (key == "Header") {
        header = Text(name, part).bytes();
      } else if (key == "Trailing") {
        form.trailing = Text(name, part).bytes();
      } else if (key == "NegativeLengths") {
        if (!part.is_object()) Fail(name, "expected an object of field names and lengths");
        for (const auto& [field, length] : part.items())
          form.negative_lengths[field] =
              Integer<int32_t>(name + "." + field, length, std::numeric_limits<int32_t>::min(), -1);
      } else {
        Fail(name, "unknown key");
      }
    }
    return header;
  }

  // DiscCount and the four per-disc arrays must agree; a missing one follows the others, and a
  // missing array is all zeros.
  void SetDiscs(S& s) {
    std::optional<int32_t> count = disc_count_;
    for (const auto& [key, member, sizes] : per_disc_) {
      if (sizes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        Fail(key, "too many discs");
      const auto n = static_cast<int32_t>(sizes.size());
      if (count && *count != n) {
        Fail(key, "has " + std::to_string(n) + " entries, but " +
                      (disc_count_ ? "DiscCount is " : "another per-disc array has ") +
                      std::to_string(*count));
      }
      count = n;
    }
    const int32_t n = count.value_or(0);
    if (n < 0) Fail("DiscCount", "cannot be negative");
    // Without arrays the count alone sizes four zero-filled arrays; keep that to a sane number.
    constexpr int32_t kMaxBareDiscCount = 65535;
    if (per_disc_.empty() && n > kMaxBareDiscCount) {
      Fail("DiscCount",
           "too large without per-disc arrays (at most " + std::to_string(kMaxBareDiscCount) + ")");
    }
    s.SetDiscCount(n);
    for (const auto& [key, member, sizes] : per_disc_) s.*member = sizes;
  }

  std::string source_;
  std::optional<int32_t> disc_count_;
  std::vector<std::tuple<std::string, std::vector<int64_t> S::*, std::vector<int64_t>>> per_disc_;
};

// The JSON form of a settings file: every byte may take a few characters of escape.
constexpr int64_t kMaxJsonBytes = 4 * TVondInstallSet::kMaxFileBytes;

std::string ReadStandardInput(int64_t max_size) {
  std::string text;
  char buffer[65536];
  while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(std::cin.gcount()));
    if (static_cast<int64_t>(text.size()) > max_size) {
      throw EReadError("standard input: more than the " + std::to_string(max_size) +
                       " bytes a settings description may have");
    }
  }
  return text;
}

void BuildFile(const std::string& json_file, const std::string& out_file) {
  const std::string text = json_file == "-" ? ReadStandardInput(kMaxJsonBytes)
                                            : ReadWholeFile(Utf8ToPath(json_file), kMaxJsonBytes);
  const std::string source = json_file == "-" ? "standard input" : json_file;
  const Json j = ParseJson(text, source);
  TSettingsFileForm form;
  const S settings = Builder(source).Build(j, form);
  // What the file's version or form cannot hold is the JSON's fault, so the JSON is named.
  TMemoryStream bytes;
  try {
    settings.SaveToStream(bytes, form);
  } catch (const EWriteError& e) {
    throw EFormatError(source + ": " + e.what());
  }
  if (IsNullDevice(Utf8ToPath(out_file))) return;  // checked, and dropped
  CheckReplaceableOutput(Utf8ToPath(out_file));
  WriteFileAtomically(Utf8ToPath(out_file), bytes.Bytes());
}

void Register(CLI::App& app) {
  CLI::App* settings = app.add_subcommand("settings", "Read and write install.dat settings files");
  settings->require_subcommand(1);

  struct Options {
    std::string file, json_file, out;
    bool json = false;
  };
  auto opt = std::make_shared<Options>();

  CLI::App* show = settings->add_subcommand("show", "Show the settings in FILE (as JSON with --json)");
  show->add_option("FILE", opt->file, "install.dat file")->required();
  show->add_flag("--json", opt->json, "Print JSON: the fields of the settings object plus \"Version\"");
  show->callback([opt] {
    Show(opt->file, opt->json);
    SetResult(kOk);
  });

  CLI::App* build = settings->add_subcommand(
      "build", "Write JSON (as from show --json) into an install.dat of version 108");
  build->add_option("JSON", opt->json_file, "JSON file, - for standard input")->required();
  build->add_option("-o,--output", opt->out, "install.dat to write")->required();
  build->callback([opt] {
    BuildFile(opt->json_file, opt->out);
    SetResult(kOk);
  });
}

RegisterCommands reg(50, Register);

}  // namespace

TVondInstallSet SettingsFromJson(const nlohmann::ordered_json& j, const std::string& source) {
  TSettingsFileForm form;
  return Builder(source).Build(j, form);
}

}  // namespace vn::cli
