// Writes the seed corpora of the fuzz targets, one folder per target, from the project's own
// writers, the test builders and the sample picture, plus the reproducers of faults found before
// (so that the smoke runs check them every time). Usage: make_seeds OUT_DIR SAMPLE_PNG
#include <png.h>

#include <array>
#include <cstdio>
#include <cstdlib>
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
#include "platform/error.h"
#include "platform/file.h"
#include "platform/posix/registry_file.h"
#include "settings/settings.h"
#include "tests/archive/archive_builder.h"
#include "tests/imaging/ruxa_builder.h"
#include "tests/settings/settings_fixture.h"

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
  s.DiscDataSize = {4'000'000'000, 1};
  s.InstalledFiles = {DataString("game.exe"), DataString("data\\bg.rxa")};
  s.DiscFiles = {DataString("setup.exe"), DataString()};
  s.HelloText = DataString("hello\r\n");
  s.ShowReadme = true;
  TMemoryStream full;
  s.SaveToStream(full);
  Seed("settings", "full.dat", full.Bytes());
  // Every layout a version gives, from the headerless version 0 on; newer versions carry more.
  for (int version : {0, 99, 100, 101, 102, 103, 104, 105, 106, 107, 109}) {
    TVondInstallSet v = s;
    if (version < 101) v.UpdateMode = false;
    if (version < 102) v.InstalledFiles.clear();
    if (version < 106) v.DiscFiles.clear();
    if (version < 108) v.HelloText = DataString();
    Seed("settings", "version" + std::to_string(version), test::SettingsFile(v, version));
  }
  // What the fields do not keep apart: odd flag bytes, negative lengths, left-out entries, an odd
  // header, bytes after the end.
  TSettingsFileForm form;
  form.version = 99;
  form.header = "is 99";
  form.flag_bytes = {{"ShowReadme", 2}, {"Installed", 0xFF}};
  form.negative_lengths = {{"FooterText", -1}};
  form.trailing = std::string("\0tail", 5);
  TVondInstallSet odd = s;
  odd.Installed = true;
  odd.InstalledFiles.clear();
  odd.DiscFiles.clear();
  odd.HelloText = DataString();
  odd.DiscDataSize = {7, 1};
  TMemoryStream odd_bytes;
  odd.SaveToStream(odd_bytes, form);
  Seed("settings", "odd-form", odd_bytes.Bytes());
  form = TSettingsFileForm();
  form.skipped_installed_files = {0, 3};
  form.negative_lengths = {{"InstalledFiles[3]", -4}, {"WizardCaption", -1}};
  TMemoryStream skipped;
  s.SaveToStream(skipped, form);
  Seed("settings", "skipped-entries", skipped.Bytes());
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
  // The archive the fuzz build puts into an ELF object as its resource.
  fs::create_directories(out_dir / "resources");
  WriteFileAtomically(out_dir / "resources" / "archive.dat", test::BuildArchive(entries));
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

std::string Le32(uint32_t v) {
  return Le16(static_cast<uint16_t>(v & 0xFFFF)) + Le16(static_cast<uint16_t>(v >> 16));
}

// A bitmap file of EncodeBmp (40-byte header, no masks) under another information header: the
// 12-byte core header with 16-bit sizes and 3-byte colour table entries, or the V4 (108-byte) or V5
// (124-byte) header, whose 32-bit pictures carry their four masks and a colour space in it.
std::string BmpWithHeader(const std::string& bmp, uint32_t header_size) {
  const auto le = [&](size_t at, size_t n) {
    uint32_t v = 0;
    std::memcpy(&v, bmp.data() + at, n);
    return v;
  };
  const uint32_t pixels_at = le(10, 4), width = le(18, 4), height = le(22, 4), bits = le(28, 2);
  std::string table = bmp.substr(14 + 40, pixels_at - 14 - 40);
  std::string header;
  if (header_size == 12) {
    header = Le32(12) + Le16(static_cast<uint16_t>(width)) + Le16(static_cast<uint16_t>(height)) + Le16(1) +
             Le16(static_cast<uint16_t>(bits));
    std::string triples;
    for (size_t i = 0; i + 4 <= table.size(); i += 4) triples += table.substr(i, 3);
    table = triples;
  } else {
    header = Le32(header_size) + bmp.substr(18, 36);
    if (bits == 32) {
      header.replace(16, 4, Le32(3));  // BI_BITFIELDS
      header += Le32(0x00FF0000) + Le32(0x0000FF00) + Le32(0x000000FF) + Le32(0xFF000000) + "BGRs";
    }
    header.resize(header_size, '\0');
  }
  const uint32_t offset = static_cast<uint32_t>(14 + header.size() + table.size());
  const std::string pixels = bmp.substr(pixels_at);
  return "BM" + Le32(static_cast<uint32_t>(offset + pixels.size())) + Le32(0) + Le32(offset) + header +
         table + pixels;
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
  // The other information headers: core (1, 4, 8 and 24 bits), V4 and V5 (8, 24 and 32 bits).
  for (size_t i : {0, 1, 2, 4}) {
    Seed("bmp", "core" + std::to_string(patterns[i].BitCount()),
         std::string(1, '\0') + BmpWithHeader(EncodeBmp(patterns[i], false), 12));
  }
  for (uint32_t size : {108u, 124u}) {
    const std::string v = "v" + std::to_string(size == 108 ? 4 : 5) + "-";
    Seed("bmp", v + "8", std::string(1, '\0') + BmpWithHeader(EncodeBmp(patterns[2], false), size));
    Seed("bmp", v + "24", std::string(1, '\0') + BmpWithHeader(EncodeBmp(sample, false), size));
    Seed("bmp", v + "32", std::string(1, '\1') + BmpWithHeader(EncodeBmp(with_alpha, true), size));
  }
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

// A PNG of the forms our writer does not make (it writes 8-bit RGB and RGBA), through libpng: every
// colour type, 1 to 16 bits, interlaced, with a transparent colour; the rows hold a byte pattern.
std::string LibpngFile(int width, int height, int colour_type, int depth, bool interlaced, bool transparent) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw Exception("libpng could not write a seed");
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
      },
      nullptr);
  png_set_IHDR(png, info, width, height, depth, colour_type,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (colour_type == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i), 40};
    png_set_PLTE(png, info, palette, 1 << depth);
    png_byte alpha[2] = {0, 128};
    if (transparent) png_set_tRNS(png, info, alpha, 2, nullptr);
  } else if (transparent) {
    png_color_16 key{};
    key.gray = key.red = 1;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  const int channels = png_get_channels(png, info);
  const size_t row_bytes = (size_t(width) * channels * depth + 7) / 8;
  std::vector<std::vector<png_byte>> rows(height, std::vector<png_byte>(row_bytes));
  std::vector<png_bytep> pointers;
  for (int y = 0; y < height; ++y) {
    for (size_t i = 0; i < row_bytes; ++i) rows[y][i] = static_cast<png_byte>((i * 37 + y * 11) & 0xFF);
    pointers.push_back(rows[y].data());
  }
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void PngSeeds(const TDIBSurface& sample, const Patterns& patterns) {
  Seed("png", "sample", EncodePng(sample, false));
  TDIBSurface with_alpha;
  with_alpha.AssignWithAlpha(sample);
  with_alpha.EnsureAlphaPlane();
  with_alpha.FillAlphaOpaque();
  with_alpha.AlphaPlane()->SetPixels(1, 1, 7);
  Seed("png", "sample-alpha", EncodePng(with_alpha, true));
  TDIBSurface pattern;
  pattern.AssignWithAlpha(patterns[5]);
  pattern.ConvertBitCount(24);
  Seed("png", "pattern", EncodePng(pattern, false));
  const struct {
    const char* name;
    int colour_type, depth;
    bool interlaced, transparent;
  } forms[] = {
      {"gray1", PNG_COLOR_TYPE_GRAY, 1, false, false},
      {"gray16-key", PNG_COLOR_TYPE_GRAY, 16, false, true},
      {"palette4-trns", PNG_COLOR_TYPE_PALETTE, 4, false, true},
      {"palette8-interlaced", PNG_COLOR_TYPE_PALETTE, 8, true, false},
      {"rgb16-interlaced", PNG_COLOR_TYPE_RGB, 16, true, false},
      {"rgb8-key", PNG_COLOR_TYPE_RGB, 8, false, true},
      {"gray-alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
      {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, true, false},
  };
  for (const auto& f : forms)
    Seed("png", f.name, LibpngFile(9, 7, f.colour_type, f.depth, f.interlaced, f.transparent));
  // A text chunk whose length field claims 1.1 GB right after the header, in a file of a few hundred
  // bytes: libpng would allocate that much unless such chunks are skipped.
  const std::string plain = LibpngFile(9, 7, PNG_COLOR_TYPE_GRAY, 1, false, false);
  Seed("png", "ztxt-claims-1gb",
       plain.substr(0, 33) + std::string("\x42\0\0\x21zTXtIDAsPLT", 16) + plain.substr(33));
}

// A disc image in the disc target's input form: long runs of zero sectors cut out and listed first.
std::string SparseImage(const std::string& image) {
  constexpr size_t kSector = 2048;
  std::string runs, sectors;
  int count = 0;
  const size_t total = (image.size() + kSector - 1) / kSector;
  for (size_t s = 0; s < total;) {
    size_t end = s;
    while (end < total &&
           image.find_first_not_of('\0', end * kSector) >= std::min(image.size(), (end + 1) * kSector))
      ++end;
    if (end - s >= 4 && count < 16) {
      runs += Le32(static_cast<uint32_t>(s)) + Le32(static_cast<uint32_t>(end - s));
      ++count;
      s = end;
    } else {
      sectors += image.substr(s * kSector, kSector);
      ++s;
    }
  }
  return std::string(1, static_cast<char>(count)) + runs + sectors;
}

// Images made by the system's ISO writers (installed by scripts/setup.sh) from a small disc: ISO
// 9660 with Joliet and Rock Ridge, plain ISO 9660, and UDF with the ISO bridge. Without the tools
// the target starts from its dictionary alone.
void DiscSeeds() {
  const fs::path folder = out_dir / "disc-work";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder / "disc" / "data" / "sub");
  WriteFileAtomically(folder / "disc" / "install.dat", "settings");
  WriteFileAtomically(folder / "disc" / "data" / "game.dat", std::string(3000, 'g'));
  WriteFileAtomically(folder / "disc" / "data" / "sub" / "setup.exe", "MZ program");
  const std::string disc = folder.string() + "/disc";
  const std::pair<const char*, std::string> makers[] = {
      {"joliet-rock-ridge", "xorriso -as mkisofs -quiet -no-pad -J -R -o "},
      {"plain", "xorriso -as mkisofs -quiet -no-pad -o "},
      {"udf", "genisoimage -quiet -no-pad -udf -J -o "},
  };
  for (const auto& [name, command] : makers) {
    const std::string image = folder.string() + "/" + name + ".iso";
    if (std::system((command + "'" + image + "' '" + disc + "' >/dev/null 2>&1").c_str()) != 0) {
      std::fprintf(stderr, "make_seeds: no %s disc image (xorriso or genisoimage missing?)\n", name);
      continue;
    }
    std::string bytes = ReadWholeFile(image, kAnyFileSize);
    Seed("disc", name, SparseImage(bytes));
    if (std::string(name) != "plain") continue;
    // A fault found before: a folder whose record claims 1.7 GB, which the library would allocate
    // whole when it reads the folder. Its directory record: name length 4, "DATA", the folder flag.
    const std::string data_name = std::string(1, '\4') + "DATA";
    for (size_t at = bytes.find(data_name); at != std::string::npos; at = bytes.find(data_name, at + 1)) {
      const size_t record = at - 32;
      if (at < 32 || (bytes[record + 25] & 2) == 0) continue;
      bytes.replace(record + 10, 8, Le32(0x67676767) + Le32(0x67676767));  // both byte orders
    }
    Seed("disc", "regression-huge-folder", SparseImage(bytes));
  }
  fs::remove_all(folder, ec);
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
    vn::PngSeeds(sample, patterns);
    vn::RegistrySeeds();
    vn::DiscSeeds();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_seeds: %s\n", e.what());
    return 2;
  }
  return 0;
}
