// What the archive commands share: archive arguments (standard input among them), names for the
// command line and the terminal, selecting entries by name or pattern, and checking one entry.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "archive/crc32.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "tools/vnkit/archive_replace.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/unfinished_files.h"

namespace vn::cli {

namespace fs = std::filesystem;

namespace {

// Standard input spooled to a file, removed with its folder when the program ends.
class SpooledInput {
 public:
  SpooledInput() {
    folder_ = TemporarySibling(TemporaryFolder() / "vnkit-stdin");
    // the temporary folder must exist: missing folders of a mistyped TMPDIR are not made (and left)
    std::error_code ec;
    if (!fs::create_directory(folder_, ec)) {
      throw EWriteError("standard input: cannot be spooled to " + PathToUtf8(folder_) + ": " + ec.message() +
                        " (the temporary folder is $TMPDIR, else /tmp)");
    }
    RemoveOnSignal(TemporaryUse::kInput, folder_ / "stdin.dat", folder_ / "stdin.exe", folder_);
    try {
      Spool();
    } catch (...) {
      Remove();
      throw;
    }
  }
  ~SpooledInput() { Remove(); }
  const fs::path& Path() const { return file_; }

 private:
  // Written as it comes, so that an input of any length (an endless one too) takes no more memory
  // than one piece of it; a full disk ends it with an error.
  void Spool() {
    file_ = folder_ / "stdin.dat";
    File out(file_, FileAccess::kCreate);
    std::vector<char> buffer(1 << 20);
    const int64_t limit = SpoolLimit();
    int64_t size = 0;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
      if (static_cast<int64_t>(n) > limit - size) {
        throw EWriteError(
            "standard input: more than " + std::to_string(limit) +
            " bytes, the most spooled to the temporary folder (" + PathToUtf8(folder_.parent_path()) +
            ": half its free space, at most 64 GiB; VNKIT_SPOOL_LIMIT sets another number of bytes)");
      }
      out.Write(buffer.data(), static_cast<int64_t>(n));
      size += static_cast<int64_t>(n);
    }
    if (std::ferror(stdin)) throw EReadError("standard input: cannot read");
    // An executable that carries an archive is read through its trailer, so it keeps that kind.
    char first[2] = {0, 0}, last[2] = {0, 0};
    const bool exe = size >= 8 && out.ReadAt(0, first, 2) == 2 && out.ReadAt(size - 2, last, 2) == 2 &&
                     first[0] == 'M' && first[1] == 'Z' && last[0] == 'v' && last[1] == 'd';
    out.Close();
    if (exe) {
      const fs::path exe = folder_ / "stdin.exe";
      fs::rename(file_, exe);
      file_ = exe;
    }
  }

  void Remove() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  // An endless input (yes | vnkit list -) would fill the disk: the spool stops at half the free
  // space of the temporary folder, and at 64 GiB, unless VNKIT_SPOOL_LIMIT says otherwise.
  int64_t SpoolLimit() const {
    if (const char* set = std::getenv("VNKIT_SPOOL_LIMIT"); set != nullptr && *set != '\0') {
      char* end = nullptr;
      const long long value = std::strtoll(set, &end, 10);
      if (end != nullptr && *end == '\0' && value > 0) return value;
    }
    std::error_code ec;
    const fs::space_info space = fs::space(folder_, ec);
    const int64_t most = int64_t{64} << 30;
    if (ec || space.available == static_cast<uintmax_t>(-1)) return most;
    return std::min<int64_t>(most, static_cast<int64_t>(space.available / 2));
  }

  fs::path folder_, file_;
};

bool HasWildcards(const std::string& name) {
  return name.find_first_of("*?[") != std::string::npos;
}

// The name with '/' for '\' between folders, for matching against patterns.
std::string MatchableName(const DataString& name) {
  std::string text = NameToUtf8(name);
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '\\') text[i] = '/';
  }
  return text;
}

// The CRC-32 of what is written through it.
class CrcSink : public TStream {
 public:
  // With a target, what is written is passed on to it and summed as it is written there.
  explicit CrcSink(TStream* target = nullptr) : target_(target) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t written = target_ ? target_->Write(buffer, count) : count;
    crc_ = Crc32Update(crc_, buffer, static_cast<size_t>(std::max<int64_t>(written, 0)));
    size_ += std::max<int64_t>(written, 0);
    return written;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    return target_ ? target_->Seek(offset, origin) : size_;
  }
  uint32_t Crc() const { return crc_; }

 private:
  TStream* target_;
  uint32_t crc_ = 0;
  int64_t size_ = 0;
};

}  // namespace

int64_t StdoutStream::Write(const void* buffer, int64_t count) {
  const char* p = static_cast<const char*>(buffer);
  int64_t left = count;
  while (left > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EWriteError(std::string("standard output: cannot write: ") + std::strerror(errno));
    p += n;
    left -= n;
  }
  written_ += count;
  return count;
}

fs::path ArchivePath(const std::string& archive) {
  if (archive != "-") return Utf8ToPath(archive);
  // as tar does: an archive is not typed in
  if (isatty(STDIN_FILENO) == 1)
    throw EFOpenError("standard input is a terminal: pipe an archive in, or name the archive file");
  static std::unique_ptr<SpooledInput> input;
  if (!input) input = std::make_unique<SpooledInput>();
  return input->Path();
}

std::string NamingUserFile(std::string message, const fs::path& temporary, const std::string& shown) {
  const std::string name = PathToUtf8(temporary);
  for (size_t at = 0; (at = message.find(name, at)) != std::string::npos; at += shown.size())
    message.replace(at, name.size(), shown);
  return message;
}

std::string ArchiveLabel(const std::string& archive) {
  return archive == "-" ? "standard input" : archive;
}

namespace {

// Opens through `open`; a spooled standard input is named as such in errors, not by its temporary file.
template <typename Open>
auto OpenForTool(TVrFileCollection& files, const std::string& archive, bool cut_off_data, Open open) {
  std::error_code ec;
  const fs::path path = ArchivePath(archive);
  // a replacement of this archive that a killed run left is finished first
  if (archive != "-") SettleReplacement(path);
  if (!fs::exists(path, ec)) throw EFOpenError(archive + ": no such archive file");
  OpenRegularFile(path);  // a folder or a pipe is refused with its reason, and never waited for
  files.AcceptCutOffData = cut_off_data;
  try {
    return open(path);
  } catch (const Exception& e) {
    if (archive != "-") throw;
    throw Exception(NamingUserFile(e.what(), path, "standard input"));
  }
}

}  // namespace

void OpenArchiveForTool(TVrFileCollection& files, const std::string& archive, bool cut_off_data) {
  OpenForTool(files, archive, cut_off_data, [&](const fs::path& path) { files.Open(path); });
}

ArchiveDirectoryReader& OpenArchiveDirectoryForTool(TVrFileCollection& files, const std::string& archive,
                                                    bool cut_off_data) {
  return *OpenForTool(files, archive, cut_off_data, [&](const fs::path& path) {
    ArchiveDirectoryReader* directory = files.OpenDirectory(path);
    if (directory == nullptr) throw EFOpenError(archive + ": no such archive file");
    return directory;
  });
}

bool DirectoryCoversNoData(const ArchiveDirectoryReader& directory, TBigStream& data) {
  // offsets ascend, so no entry holds a byte when the first and the end offset are equal
  if (directory.Version() != 0 || directory.FirstOffset() != directory.EndOffset()) return false;
  return data.GetSize() > std::max<int64_t>(directory.EndOffset(), 8);
}

std::string NoDataWarning(TBigStream& data) {
  return "the directory (oldest form, without magic) covers none of the " + std::to_string(data.GetSize()) +
         " bytes of the data file; it may not belong to it";
}

std::string NameToUtf8(const DataString& name) {
  std::string utf8;
  return TryCp932ToUtf8(name, utf8) ? utf8 : Cp932ToUtf8Lossy(name);
}

DataString NameFromUtf8(const std::string& name) {
  DataString out;
  if (!TryUtf8ToCp932(name, out))
    throw EConvertError("\"" + name + "\" has no Shift-JIS form, so no entry has that name");
  return out;
}

namespace {

// What DisplayText and DisplayName share; with `slashes`, a '\' character (never a trail byte) is '/'.
std::string Displayed(const DataString& name, bool slashes) {
  const auto is_control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
  std::string utf8;
  if (TryCp932ToUtf8(name, utf8)) {
    bool plain = true;
    for (unsigned char c : utf8) plain = plain && !is_control(c);
    if (plain) {
      // in UTF-8 a '\' byte is always the character: trail bytes 0x5C went into their characters
      if (slashes) std::replace(utf8.begin(), utf8.end(), '\\', '/');
      return utf8;
    }
  }
  // character by character: what has no character (or is a control character) is shown as bytes
  std::string out, piece;
  for (size_t i = 0; i < name.size();) {
    const size_t n = IsLeadByte(name[i]) && i + 1 < name.size() ? 2 : 1;
    const DataString character(name.data() + i, n);
    if (slashes && n == 1 && name[i] == '\\') {
      out += '/';
    } else if (TryCp932ToUtf8(character, piece) && !(n == 1 && is_control(name[i]))) {
      out += piece;
    } else {
      for (size_t k = 0; k < n; ++k) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", name[i + k]);
        out += hex;
      }
    }
    i += n;
  }
  return out;
}

}  // namespace

std::string DisplayText(const DataString& text) {
  return Displayed(text, false);
}

std::string DisplayName(const DataString& name) {
  return Displayed(name, true);
}

bool IsCurrentEntry(const TVrFileCollection& files, int index) {
  const DataString& name = files[index].Name();
  return !Superseded(name) && files.IndexOf(name) == index;
}

std::vector<int> SelectEntries(const TVrFileCollection& files, const std::string& name, bool* is_pattern) {
  *is_pattern = false;
  DataString exact;
  if (TryUtf8ToCp932(name, exact)) {
    int index = files.IndexOf(exact);
    if (index < 0) {
      std::string with_backslashes = name;
      for (size_t i = 1; i < with_backslashes.size(); ++i) {
        if (with_backslashes[i] == '/') with_backslashes[i] = '\\';
      }
      DataString converted;
      if (TryUtf8ToCp932(with_backslashes, converted)) index = files.IndexOf(converted);
    }
    if (index >= 0 && index + 1 < files.Count()) return {index};
  }
  if (!HasWildcards(name)) return {};
  *is_pattern = true;
  std::string pattern = name;
  for (size_t i = 1; i < pattern.size(); ++i) {
    if (pattern[i] == '\\') pattern[i] = '/';
  }
  const bool superseded = !pattern.empty() && pattern[0] == '/';
  std::vector<int> selected;
  for (int i = 0; i + 1 < files.Count(); ++i) {
    const DataString& entry = files[i].Name();
    const bool is_superseded = Superseded(entry);
    if (is_superseded != superseded || (!is_superseded && files.IndexOf(entry) != i)) continue;
    if (MatchesPattern(pattern, MatchableName(entry))) selected.push_back(i);
  }
  return selected;
}

bool WriteEntryChecked(const TVrFileCollection& files, TBigStream& data, const TVrFile& entry,
                       TStream& target) {
  if (!entry.Stored || entry.CRC == 0) {
    files.ReadEntryFrom(data, entry, target);
    return true;
  }
  // a stored entry's checksum covers its content as it is written
  CrcSink summed(&target);
  files.ReadEntryFrom(data, entry, summed);
  return summed.Crc() == entry.CRC;
}

}  // namespace vn::cli
