// install.dat: any bytes either load or raise a format error; what loads saves, and what is saved
// loads back to the same bytes.
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "platform/error.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  TMemoryStream in{std::string(fuzz::AsView(data, size))};
  TVondInstallSet settings;
  try {
    settings.LoadFromStream(in);
  } catch (const Exception&) {
    return 0;
  }
  TMemoryStream first;
  settings.SaveToStream(first);
  first.SetPosition(0);
  TVondInstallSet again;
  again.LoadFromStream(first);
  TMemoryStream second;
  again.SaveToStream(second);
  if (first.Bytes() != second.Bytes()) std::abort();
  return 0;
}
