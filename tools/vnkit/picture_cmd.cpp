// vnkit picture convert / encode: RXA pictures (and TGA, icon, cursor, bitmap files) to PNG, and
// PNG to RXA.
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "archive/stream.h"
#include "imaging/picture_file.h"
#include "imaging/png_io.h"
#include "imaging/ruxa.h"
#include "imaging/ruxa_writer.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tools/vnkit/cli.h"

namespace vn::cli {

namespace {

// Decoding errors know the fault, not the file; this adds the file's name.
[[noreturn]] void Rethrow(const std::string& file, const std::exception& e) {
  throw Exception(file + ": " + e.what());
}

// Writes under a temporary name and renames it over the target, so that a failed write never
// leaves a damaged or truncated file where an older one was. Not synced: the output is a working
// file that can be made again, and syncing would cost more than the whole conversion.
void WriteOutputWith(const std::string& out, const std::function<void(File&)>& write) {
  const std::filesystem::path target = Utf8ToPath(out);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  if (!std::filesystem::is_directory(folder)) throw EWriteError(out + ": the folder does not exist");
  CheckReplaceableOutput(target);
  const std::filesystem::path temporary = TemporarySibling(target);
  try {
    File file(temporary, FileAccess::kCreate);
    write(file);
    file.Close();
    std::filesystem::rename(temporary, target);
  } catch (const std::filesystem::filesystem_error& e) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw EWriteError(out + ": cannot write: " + e.code().message());
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw;
  }
}

void WriteOutput(const std::string& out, std::string_view bytes) {
  WriteOutputWith(out, [&](File& file) { file.Write(bytes.data(), static_cast<int64_t>(bytes.size())); });
}

// The PNG goes to the file as it is made: a large picture's file is never held whole. For a picture
// still being decoded, rows_ready waits for its rows, and before_done runs once the PNG is written,
// before the file is put in place.
void WritePngOutput(const std::string& out, const TDIBSurface& picture,
                    const std::function<void(int32_t rows)>& rows_ready = {},
                    const std::function<void()>& before_done = {}) {
  WriteOutputWith(out, [&](File& file) {
    WritePng(
        picture, true, [&](const void* data, size_t size) { file.Write(data, static_cast<int64_t>(size)); },
        rows_ready);
    if (before_done) before_done();
  });
}

// TGA, icon, cursor and bitmap files by their extension; everything else is read as RXA.
bool IsPictureFile(const std::string& in) {
  std::string ext = PathToUtf8(Utf8ToPath(in).extension());
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext == ".tga" || ext == ".ico" || ext == ".cur" || ext == ".bmp";
}

// --frame picks the image of an icon or cursor file; the other formats hold one picture.
void ConvertPictureFile(const std::string& in, const std::string& out, int32_t frame_index) {
  TPictureLoadOptions options;
  options.keep_alpha = true;
  int32_t images = 1;
  options.choose = [&](const std::vector<TIconImageInfo>& list) {
    images = static_cast<int32_t>(list.size());
    return frame_index;
  };
  TDIBSurface surface;
  LoadPictureFile(Utf8ToPath(in), surface, options);
  if (frame_index != 0 && images == 1) {
    throw Exception(in + ": frame " + std::to_string(frame_index) + " asked for; the file holds one picture");
  }
  if (surface.Empty()) throw Exception(in + ": the file holds no picture this program reads");
  if (surface.BitCount() != 24) surface.ConvertBitCount(24);
  WritePngOutput(out, surface);
}

// Loads an RXA picture on a thread of its own. A frame whose rows are final as they are decoded
// (OnRowsFinal: a JPEG picture, mostly) is written while it is being decoded, each band of the
// PNG waiting for its rows, so that decoding and compressing share the processor's cores.
class BackgroundLoad {
 public:
  BackgroundLoad(TRuxaFrameList& list, TStream& stream, int32_t frame_index) : frame_index_(frame_index) {
    list.OnRowsFinal = [this](int32_t frame, const TDIBSurface& surface, int32_t rows) {
      if (frame != frame_index_) return;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        surface_ = &surface;
        rows_ = rows;
      }
      changed_.notify_all();
    };
    thread_ = std::thread([this, &list, &stream] {
      std::exception_ptr failure;
      try {
        list.LoadFromStream(stream, false, true, false);
      } catch (...) {
        failure = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = failure;
        ended_ = true;
      }
      changed_.notify_all();
    });
  }
  ~BackgroundLoad() { Join(); }

  // The frame's surface once rows of it are final; nullptr when the load ended without that.
  const TDIBSurface* FrameInTheMaking() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return surface_ || ended_; });
    return surface_;
  }
  // Returns once the frame's first `rows` rows are final; raises when the load ended before.
  void WaitForRows(int32_t rows) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return rows_ >= rows || ended_; });
    if (rows_ < rows) throw EFormatError("the picture's rows end early");
  }
  // Waits for the end of the load and raises its failure.
  void Finish() {
    Join();
    if (failure_) std::rethrow_exception(failure_);
  }
  bool Failed() {
    Join();
    return failure_ != nullptr;
  }

 private:
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  const int32_t frame_index_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const TDIBSurface* surface_ = nullptr;
  int32_t rows_ = 0;
  bool ended_ = false;
  std::exception_ptr failure_;
};

void Convert(const std::string& in, const std::string& out, int32_t key, int32_t frame_index) {
  if (IsPictureFile(in)) {
    ConvertPictureFile(in, out, frame_index);
    return;
  }
  TMemoryStream stream(ReadWholeFile(Utf8ToPath(in), kRuxaMaxFileBytes));
  TRuxaFrameList list(key);
  BackgroundLoad load(list, stream, frame_index);
  if (const TDIBSurface* streamed = load.FrameInTheMaking()) {
    try {
      // a damaged later frame fails the picture before the output is in place
      WritePngOutput(
          out, *streamed, [&](int32_t rows) { load.WaitForRows(rows); }, [&] { load.Finish(); });
      return;
    } catch (...) {
      if (!load.Failed()) throw;  // the output's own failure; the load's is reported below
    }
  }
  TDIBSurface* surface = nullptr;
  try {
    load.Finish();
    if (frame_index < 0 || frame_index >= list.Count()) {
      throw EFormatError("there is no frame " + std::to_string(frame_index) + ": the picture has " +
                         (list.Count() == 1 ? std::string("one frame (--frame 0)")
                                            : std::to_string(list.Count()) + " frames (--frame 0 to " +
                                                  std::to_string(list.Count() - 1) + ")"));
    }
    surface = &list.GetFrame(frame_index).Surface;
    if (surface->Empty()) throw EFormatError("frame " + std::to_string(frame_index) + " is empty");
    if (surface->BitCount() != 24) surface->ConvertBitCount(24);
  } catch (const Exception& e) {
    // Pictures without signature are legal (the oldest ones), so any file reads as one; say so
    // when it fails, as it is most likely not a picture at all.
    if (stream.Bytes().compare(0, 4, "Ruxa") != 0) {
      Rethrow(in, Exception(std::string(e.what()) + "; the file has no RXA signature"));
    }
    Rethrow(in, e);
  }
  WritePngOutput(out, *surface);
}

// "WxH" with both positive.
bool ParseBlocks(const std::string& text, int32_t& w, int32_t& h) {
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%dx%d%n", &w, &h, &consumed) != 2) return false;
  return static_cast<size_t>(consumed) == text.size() && w > 0 && h > 0;
}

void Encode(const std::string& in, const std::string& out, const TRuxaEncodeOptions& options) {
  const std::string png = ReadWholeFile(Utf8ToPath(in), TDIBSurface::kMaxFileBytes);
  TDIBSurface picture;
  std::string rxa;
  bool key_matters = false;
  try {
    ReadPng(png, picture);
    rxa = EncodeRuxa(picture, options, &key_matters);
  } catch (const Exception& e) {
    Rethrow(in, e);
  }
  if (options.shuffle && !key_matters) {
    throw Exception(in + (options.block_width > 0
                              ? ": --shuffle would change nothing: no block of this picture repeats, and "
                                "the shuffled block table reads the same with any key (leave out --blocks "
                                "to shuffle rows)"
                              : ": --shuffle would change nothing: the picture has one row"));
  }
  WriteOutput(out, rxa);
}

void Register(CLI::App& app) {
  static std::string in, out, blocks;
  static int32_t key = 0, frame = 0, quality = 0;
  static bool shuffle = false;

  auto* picture = app.add_subcommand("picture", "RXA pictures: convert to PNG, encode from PNG");
  picture->require_subcommand(1);

  auto* convert = picture->add_subcommand("convert",
                                          "Write one frame of an RXA picture (or a .tga/.ico/.cur/.bmp file) "
                                          "as PNG (RGBA when it has transparency)");
  convert->add_option("IN", in, "RXA picture, or a TGA, icon, cursor or bitmap file")->required();
  convert->add_option("-o,--output", out, "PNG file to write")->required();
  static CLI::Option* convert_key =
      convert->add_option("--key", key, "the RXA picture's key (the PictureKey of install.dat)");
  convert->add_option("--frame", frame, "frame (icons: image) to write, from 0 (default 0)");
  convert->callback([] {
    if (convert_key->count() > 0 && IsPictureFile(in)) {
      throw Exception("--key applies to RXA pictures only; " + in + " is read by its extension");
    }
    Convert(in, out, key, frame);
  });

  auto* encode =
      picture->add_subcommand("encode", "Encode a PNG as an RXA picture (one frame, one 24-bit layer)");
  encode->add_option("IN", in, "PNG picture")->required();
  encode->add_option("-o,--output", out, "RXA file to write")->required();
  static CLI::Option* encode_key =
      encode->add_option("--key", key, "key of the shuffled order (with --shuffle)");
  encode->add_flag("--shuffle", shuffle, "store rows (with --blocks: the block table) in the key's order");
  encode->add_option("--blocks", blocks, "block layout with WxH blocks (identical blocks stored once)");
  encode->add_option("--jpeg", quality, "JPEG colour plane at this quality (1-100)")
      ->check(CLI::Range(1, 100));
  encode->callback([] {
    TRuxaEncodeOptions options;
    options.key = key;
    options.shuffle = shuffle;
    options.jpeg_quality = quality;
    if (!blocks.empty() && !ParseBlocks(blocks, options.block_width, options.block_height)) {
      throw Exception("--blocks: expected WxH with positive numbers, got \"" + blocks + "\"");
    }
    // Options that would change nothing are refused rather than silently ignored.
    if (quality != 0 && !blocks.empty()) throw Exception("--blocks cannot be combined with --jpeg");
    if (quality != 0 && shuffle) {
      throw Exception("--shuffle cannot be combined with --jpeg: a JPEG colour plane is never shuffled");
    }
    if (encode_key->count() > 0 && !shuffle) throw Exception("--key does nothing without --shuffle");
    Encode(in, out, options);
  });
}

RegisterCommands reg(70, Register);

}  // namespace

}  // namespace vn::cli
