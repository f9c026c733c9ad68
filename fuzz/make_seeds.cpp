// Writes the seed corpora of the fuzz targets, one folder per target, from the project's own
// writers, the test builders and the sample picture, plus the reproducers of faults found before
// (so that the smoke runs check them every time). Usage: make_seeds OUT_DIR SAMPLE_PNG
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/stream.h"
#include "imaging/bmp_file.h"
#include "imaging/icon_file.h"
#include "imaging/png_io.h"
#include "imaging/ruxa_writer.h"
#include "imaging/tga_file.h"
#include "platform/file.h"
#include "platform/posix/registry_file.h"
#include "settings/settings.h"
#include "tests/archive/archive_builder.h"
#include "tests/imaging/ruxa_builder.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

}  // namespace

// Patterned pictures at every depth.
using Patterns = std::array<TDIBSurface, 6>;

namespace {

fs::path out_dir;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  fs::create_directories(out_dir / target);
  WriteFileAtomically(out_dir / target / name, bytes);
}

std::string Le16(uint16_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

// A small crop of the sample background, and patterned pictures at every depth.
void Pictures(const std::string& sample_png, TDIBSurface& sample, Patterns& patterns) {
  TDIBSurface whole;
  ReadPng(ReadWholeFile(sample_png, TDIBSurface::kMaxFileBytes), whole);
  sample.SetSize(std::min(whole.Width(), 48), std::min(whole.Height(), 32), 24);
  sample.CopyFrom(0, 0, whole);
  const int32_t depths[] = {1, 4, 8, 16, 24, 32};
  for (size_t i = 0; i < patterns.size(); ++i) {
    patterns[i].SetSize(7, 5, depths[i]);
    test::FillPattern(patterns[i], static_cast<uint32_t>(i));
  }
}

void SettingsSeeds() {
  TVondInstallSet s;
  TMemoryStream empty;
  s.SaveToStream(empty);
  Seed("settings", "empty.dat", empty.Bytes());
  s.Title = DataString("\x96\xb2\x82\xcc\x91\xb1\x82\xab");  // Shift-JIS title
  s.DefaultFolder = DataString("<ProgramFiles>\\Maker\\Game");
  s.RegistryKey = DataString("Maker\\Game");
  s.SetDiscCount(2);
  s.DiscDataSize = {5'000'000'000, 1};
  s.InstalledFiles = {DataString("game.exe"), DataString("data\\bg.rxa")};
  s.HelloText = DataString("hello\r\n");
  s.ShowReadme = true;
  TMemoryStream full;
  s.SaveToStream(full);
  Seed("settings", "full.dat", full.Bytes());
}

std::vector<test::BuildEntry> Entries() {
  auto install = test::Compressed("install.dat", "settings");
  install.time = 0x5A2B1C0D;
  auto picture = test::StoredWithCrc("data\\bg.rxa", std::string("pic\0ture", 8));
  picture.separate = true;
  return {install, picture, test::Compressed("\x93\xfa\x96\x7b\\text.txt", "japanese text\n"),
          test::StoredWithCrc("empty", "")};
}

void ArchiveSeeds() {
  const auto entries = Entries();
  for (int version : {0, 100, 101, 102}) {
    test::BuildOptions options;
    options.version = version;
    const std::string plain = test::BuildArchive(entries, options);
    Seed("archive", "plain" + std::to_string(version), std::string(1, '\0') + plain);
    options.first_offset = 0;
    options.directory_only = true;
    const std::string side = test::BuildArchive(entries, options);
    Seed("archive", "side" + std::to_string(version),
         std::string(1, '\1') + Le16(static_cast<uint16_t>(side.size())) + side + test::EntryData(entries));
    Seed("archive", "exe" + std::to_string(version),
         std::string(1, '\2') + test::WithExeTrailer("MZ fake program", plain));
  }
  // An all-zero side file: an empty directory of the oldest form beside a data file with content.
  Seed("archive", "regression-zero-side-file",
       std::string(1, '\1') + Le16(8) + std::string(8, '\0') + test::EntryData(entries));
}

void RxaSeeds(const TDIBSurface& sample, const Patterns& patterns) {
  const auto seed = [](const std::string& name, uint8_t options, int32_t key, const std::string& picture) {
    std::string bytes(1, static_cast<char>(options));
    bytes.append(reinterpret_cast<const char*>(&key), 4);
    Seed("rxa", name, bytes + picture);
  };
  TDIBSurface with_alpha;
  with_alpha.AssignWithAlpha(sample);
  with_alpha.EnsureAlphaPlane();
  with_alpha.FillAlphaOpaque();
  int n = 0;
  for (const TRuxaEncodeOptions& o :
       {TRuxaEncodeOptions{}, TRuxaEncodeOptions{77, true, 0, 0, 0}, TRuxaEncodeOptions{5, false, 8, 8, 0},
        TRuxaEncodeOptions{9, true, 16, 8, 0}, TRuxaEncodeOptions{0, false, 0, 0, 80}}) {
    seed("sample" + std::to_string(n), static_cast<uint8_t>(n * 3 + 2), o.key, EncodeRuxa(sample, o));
    seed("alpha" + std::to_string(n), static_cast<uint8_t>(n * 5 + 6), o.key, EncodeRuxa(with_alpha, o));
    ++n;
  }
  // Older versions, palettes, several frames and layers, through the test builder.
  for (int32_t signature : {-1, 100, 101, 102, 103, 104, 105}) {
    test::PictureSpec spec;
    spec.signature = signature;
    spec.compression = 1;  // raw planes
    for (const TDIBSurface& p : patterns) {
      if (p.BitCount() > 8 && p.BitCount() != 24) continue;
      test::FrameSpec f;
      f.width = p.Width();
      f.height = p.Height();
      f.bits = p.BitCount();
      f.trans_color = 1;
      if (p.BitCount() <= 8) f.palette.assign(p.Palette().begin(), p.Palette().begin() + (1 << p.BitCount()));
      test::LayerSpec l;
      l.colour = test::RowsRaw(p, 0);
      f.layers = {l, l};
      f.layers[1].trans_color = 2;
      spec.frames.push_back(f);
    }
    seed("built" + std::to_string(signature), 6, 0, test::BuildRuxa(spec));
  }
  // Faults found before: a 1-bit 65535 x 32000 frame with a colour key no 1-bit pixel can have;
  // a frame without layers asking for a gigabyte; an empty frame whose layer has an alpha plane.
  test::PictureSpec huge;
  test::FrameSpec frame;
  frame.width = 65535;
  frame.height = 32000;
  frame.bits = 1;
  frame.trans_color = 300;
  frame.palette.resize(2);
  huge.frames = {frame};
  seed("regression-impossible-key", 2, 0, test::BuildRuxa(huge));
  huge.frames[0].bits = 24;
  huge.frames[0].palette.clear();
  huge.frames[0].width = 16000;
  huge.frames[0].height = 5000;
  seed("regression-frame-without-layers", 2, 0, test::BuildRuxa(huge));
  // A 1-bit frame of 32 MB without layers: 256 million pixels to fill one by one.
  huge.frames[0].bits = 1;
  huge.frames[0].palette.resize(2);
  huge.frames[0].width = huge.frames[0].height = 16000;
  seed("regression-1-bit-frame-without-layers", 2, 0, test::BuildRuxa(huge));
  test::PictureSpec empty;
  test::FrameSpec nothing;
  test::LayerSpec alpha_layer;
  alpha_layer.alpha_on = 1;
  alpha_layer.colour = test::Zlib("");
  alpha_layer.alpha = test::Zlib("");
  nothing.layers = {alpha_layer};
  empty.frames = {nothing};
  seed("regression-empty-frame-with-alpha", 2, 0, test::BuildRuxa(empty));
}

void LoaderSeeds(const TDIBSurface& sample, const Patterns& patterns) {
  int n = 0;
  for (const TDIBSurface* p :
       {&sample, &patterns[0], &patterns[1], &patterns[2], &patterns[3], &patterns[4], &patterns[5]}) {
    const std::string id = std::to_string(n++);
    for (bool rle : {false, true}) {
      TTgaSaveOptions o;
      o.rle = rle;
      o.transparent = 1;
      Seed("tga", "tga" + id + (rle ? "rle" : ""), std::string(1, '\1') + EncodeTga(*p, o));
    }
    Seed("bmp", "bmp" + id, std::string(1, '\1') + EncodeBmp(*p, false));
    TIconSaveOptions icon;
    icon.transparent = 0;
    Seed("icon", "ico" + id, std::string(1, '\0') + EncodeIcon(*p, icon));
    icon.cursor = true;
    icon.hot_x = 3;
    Seed("icon", "cur" + id, std::string(1, '\1') + EncodeIcon(*p, icon));
  }
  TDIBSurface with_alpha;
  with_alpha.AssignWithAlpha(sample);
  with_alpha.EnsureAlphaPlane();
  with_alpha.FillAlphaOpaque();
  TIconSaveOptions icon32;
  icon32.with_alpha = icon32.icon32 = true;
  Seed("icon", "ico32", std::string(1, '\1') + EncodeIcon(with_alpha, icon32));
  Seed("bmp", "bmp-alpha", std::string(1, '\1') + EncodeBmp(with_alpha, true));
  TTgaSaveOptions tga_alpha;
  tga_alpha.with_alpha = tga_alpha.rle = true;
  Seed("tga", "tga-alpha", std::string(1, '\1') + EncodeTga(with_alpha, tga_alpha));
  // An icon holding a PNG image.
  const std::string png = EncodePng(sample, false);
  std::string ico = std::string("\0\0\1\0\1\0", 6) + static_cast<char>(sample.Width()) +
                    static_cast<char>(sample.Height()) + std::string("\0\0\1\0\x20\0", 6);
  const uint32_t size = static_cast<uint32_t>(png.size()), offset = 22;
  ico.append(reinterpret_cast<const char*>(&size), 4);
  ico.append(reinterpret_cast<const char*>(&offset), 4);
  Seed("icon", "ico-png", std::string(1, '\1') + ico + png);

  // Faults found before: a few bytes of run-length data for a picture of 12000 x 12000 pixels.
  Seed("bmp", "regression-rle-tiny", std::string(1, '\0') + test::TinyRunLengthBitmap(12000));
  Seed("tga", "regression-rle-tiny", std::string(1, '\0') + test::TinyRunLengthTga(9000));
}

void RegistrySeeds() {
  const fs::path folder = out_dir / "registry-work";
  const fs::path file = folder / "registry.ini";
  std::error_code ec;
  fs::remove_all(folder, ec);
  {
    FileRegistryStore store(file);
    store.WriteString("Software\\Maker\\Game", "InstallPath", "/home/u/Games/Game");
    store.WriteString("Software\\Maker\\Game", "CDDrive", "");
    store.WriteString("Software\\Maker\\Other\\Sub", "a=b", "line\nbreak %");
    store.WriteString("Software\\Maker\\Other", "[odd", ";value");
  }
  Seed("registry", "store", std::string(1, '\0') + ReadWholeFile(file, kAnyFileSize));
  fs::remove_all(folder, ec);
  Seed("registry", "write", std::string("\1Software\\Maker\\Game\0InstallPath\0/home/u/Games", 47));
  // A key path ending in two backslashes: once written under one key and read under another.
  Seed("registry", "regression-trailing-backslashes",
       std::string("\1Software\\M\\G\\\\\0v\0"
                   "1",
                   19));
}

}  // namespace
}  // namespace vn

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds OUT_DIR SAMPLE_PNG\n");
    return 2;
  }
  try {
    vn::out_dir = argv[1];
    vn::TDIBSurface sample;
    vn::Patterns patterns;
    vn::Pictures(argv[2], sample, patterns);
    vn::SettingsSeeds();
    vn::ArchiveSeeds();
    vn::RxaSeeds(sample, patterns);
    vn::LoaderSeeds(sample, patterns);
    vn::RegistrySeeds();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_seeds: %s\n", e.what());
    return 2;
  }
  return 0;
}
