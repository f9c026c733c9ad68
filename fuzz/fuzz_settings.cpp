// install.dat: any bytes either load or raise a format error; what loads saves, and what is saved
// loads back to the same bytes. Read with its file form, a file is written back byte for byte, as
// `vnkit settings show --json | vnkit settings build` gives it back.
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "platform/error.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  const std::string input(fuzz::AsView(data, size));
  TMemoryStream in{input};
  TVondInstallSet settings;
  TSettingsFileForm form;
  try {
    settings.LoadFromStream(in, form);
  } catch (const Exception&) {
    return 0;
  }
  TMemoryStream exact;
  try {
    settings.SaveToStream(exact, form);
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    fuzz::RoundTripFailed("a file that was read cannot be written in its own form");
  }
  if (exact.Bytes() != input) fuzz::RoundTripFailed("the file written in its own form has other bytes");

  TMemoryStream first;
  settings.SaveToStream(first);
  first.SetPosition(0);
  TVondInstallSet again;
  again.LoadFromStream(first);
  TMemoryStream second;
  again.SaveToStream(second);
  if (first.Bytes() != second.Bytes()) fuzz::RoundTripFailed("version 108 saved, loaded and saved differs");
  return 0;
}
