// The POSIX registry store.
//
// Input byte 0 even: the rest is a store file; it is read, a value is written into it (the file
// parsed, changed and written again) and a fresh reader finds that value.
// Input byte 0 odd: the rest is key NUL name NUL value, written into an empty store; the value
// must then be found under the same key spelling, and the key deleted (unless it is a top key).
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "platform/error.h"
#include "platform/posix/registry_file.h"

namespace {

std::string_view NextField(std::string_view& rest) {
  const size_t end = rest.find('\0');
  const std::string_view field = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  if (size < 1) return 0;
  const std::filesystem::path file = fuzz::Scratch() / "registry.ini";
  std::string_view rest = fuzz::AsView(data + 1, size - 1);
  if (data[0] % 2 == 0) {
    fuzz::WriteBytes(file, rest);
    FileRegistryStore store(file);
    try {
      std::string value;
      store.ReadString("Software\\Maker\\Game", "InstallPath", value);
      store.WriteString("Software\\Maker\\Game", "CDDrive", "/media/disc");
    } catch (const Exception&) {
      return 0;
    }
    FileRegistryStore reopened(file);
    std::string value;
    if (!reopened.ReadString("software\\maker\\game", "cddrive", value) || value != "/media/disc")
      std::abort();
    return 0;
  }
  fuzz::RemoveFile(file);
  const std::string_view key = NextField(rest);
  const std::string_view name = NextField(rest);
  const std::string_view value = rest;
  FileRegistryStore store(file);
  try {
    store.WriteString(key, name, value);
  } catch (const EWriteError&) {
    if (store.KeyExists(key)) std::abort();  // refused, so nothing may be there
    return 0;
  }
  FileRegistryStore reopened(file);
  std::string found;
  if (!reopened.ReadString(key, name, found) || found != value) std::abort();
  if (!reopened.KeyExists(key)) std::abort();
  // A key directly below the root (Software itself) is never deleted, whatever asks for it.
  const bool top_level = NormalizeRegistryKeyPath(key)->find('\\') == std::string::npos;
  if (reopened.DeleteKeyTree(key) == top_level || reopened.KeyExists(key) != top_level) std::abort();
  return 0;
}
