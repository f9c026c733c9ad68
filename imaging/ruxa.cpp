#include "imaging/ruxa.h"

#include <algorithm>
#include <cstring>

#include "imaging/jpeg_codec.h"
#include "imaging/ruxa_format.h"
#include "imaging/ruxa_planes.h"
#include "platform/error.h"

namespace vn {

namespace {

using ruxa::HeaderRecord;
using ruxa::kCompressionJpeg;
using ruxa::kCompressionNone;
using ruxa::kCompressionZlib;

// A picture that asks for more than kRuxaMaxLoadBytes (a huge layer count over a large frame, say)
// is damage and is refused before allocating.
constexpr int64_t kLoadBudget = kRuxaMaxLoadBytes;
// Below that, surfaces are bounded by the picture's own size: a frame without layers, or a JPEG
// plane whose header does not match, would otherwise make a file of a few dozen bytes allocate
// (and fill) a gigabyte. Planes expand at most 1032 times (zlib); a frame with its layers, alpha
// planes and the 24-bit copy of a palette frame takes a few times that; frames built from blocks
// of earlier ones take little data each. Small pictures always fit in the floor.
constexpr int64_t kBudgetFloor = int64_t{32} << 20;
constexpr int64_t kBudgetPerInputByte = 8192;

// True when no pixel of a surface of `bits` bits can have this value.
bool KeyCannotOccur(int64_t key, int32_t bits) {
  return key < 0 || (bits < 32 && key >= (int64_t{1} << bits));
}

std::string Num(int64_t v) {
  return std::to_string(v);
}

bool ReadSignature(TStream& stream, int32_t& version) {
  char sig[7];
  const int64_t got = stream.Read(sig, 4);
  if (got != 4 || std::memcmp(sig, "Ruxa", 4) != 0) {
    stream.Seek(-got, SeekOrigin::kCurrent);
    version = 0;
    return false;
  }
  if (stream.Read(sig + 4, 3) != 3) throw EFormatError("picture ends inside its signature");
  version = 0;
  for (int i = 4; i < 7; ++i) {
    if (sig[i] < '0' || sig[i] > '9') throw EFormatError("picture signature has no version number");
    version = version * 10 + (sig[i] - '0');
  }
  return true;
}

}  // namespace

TRuxaLayer& TRuxaFrame::Layer(int32_t index) {
  if (index < 0 || index >= LayerCount()) throw EFormatError("layer index out of range (" + Num(index) + ")");
  return *layers_[static_cast<size_t>(index)];
}

TRuxaLayer& TRuxaFrame::AddLayer() {
  layers_.push_back(std::make_unique<TRuxaLayer>(*this));
  return *layers_.back();
}

TRuxaFrame& TRuxaFrameList::GetFrame(int32_t index) {
  if (index < 0 || index >= Count()) throw EFormatError("Error:TRuxaFrameList.GetFrame");
  return *frames_[static_cast<size_t>(index)];
}

// Reads one picture into a list; one object per load.
class RuxaLoader {
 public:
  RuxaLoader(TRuxaFrameList& list, TStream& stream, bool apply_transparency, bool keep_layers)
      : list_(list),
        stream_(stream),
        memory_(dynamic_cast<TMemoryStream*>(&stream)),
        start_(stream.GetPosition()),
        size_(stream.GetSize()),
        apply_transparency_(apply_transparency),
        keep_layers_(keep_layers),
        budget_(std::min(kLoadBudget,
                         kBudgetFloor + std::max<int64_t>(0, size_ - start_) * kBudgetPerInputByte)) {}

  void Load(bool first_frame_only) {
    ReadHeader();
    int32_t frames = std::max(frame_count_, 0);
    if (first_frame_only) frames = std::min(frames, 1);
    for (int32_t f = 0; f < frames; ++f) {
      list_.frames_.push_back(std::make_unique<TRuxaFrame>(list_));
      TRuxaFrame& frame = *list_.frames_.back();
      ReadFrame(frame, f);
      if (apply_transparency_) ApplyTransparency(frame);
      frame.Surface.ReleaseHandle();
    }
    if (!keep_layers_) {
      for (auto& frame : list_.frames_) frame->ClearLayers();
    }
  }

 private:
  int64_t Offset() { return stream_.GetPosition() - start_; }
  int64_t Remaining() { return std::max<int64_t>(0, size_ - stream_.GetPosition()); }

  void ReadBytes(void* buffer, int64_t count, const char* what) {
    if (count > 0 && stream_.Read(buffer, count) != count) {
      throw EFormatError(std::string("picture ends early (") + what + " at offset " + Num(Offset()) + ")");
    }
  }
  template <typename T>
  T Read(const char* what) {
    T value;
    ReadBytes(&value, sizeof value, what);
    return value;
  }
  void Skip(int64_t count, const char* what) {
    if (count > Remaining()) {
      throw EFormatError(std::string("picture ends early (") + what + " at offset " + Num(Offset()) + ")");
    }
    stream_.Seek(count, SeekOrigin::kCurrent);
  }
  // A length field: refused when negative or beyond the data.
  int32_t ReadLength(const char* what) {
    const int32_t n = Read<int32_t>(what);
    if (n < 0 || n > Remaining()) {
      throw EFormatError(std::string("picture is damaged: ") + what + " of " + Num(n) + " bytes at offset " +
                         Num(Offset() - 4) + " (" + Num(Remaining()) + " bytes remain)");
    }
    return n;
  }
  std::string ReadName(const char* what) {
    const int32_t n = Read<int32_t>(what);
    if (n <= 0) return {};
    if (n > Remaining()) throw EFormatError(std::string("picture ends early (") + what + ")");
    std::string name(static_cast<size_t>(n), '\0');
    ReadBytes(name.data(), n, what);
    return name;
  }

  // Every surface is charged before it is allocated or anything proportional to it is done: its
  // memory, but at least one unit per pixel, as filling, drawing and converting go pixel by pixel
  // (a 1-bit frame of 32 MB has 268 million pixels).
  void ChargeSurface(int32_t width, int32_t height, int32_t bits) {
    const int64_t pixels = width > 0 && height > 0 ? int64_t{width} * height : 0;
    Charge(std::max(TDIBSurface::BytesFor(width, height, bits), pixels));
  }
  void Charge(int64_t bytes) {
    used_ += bytes;
    RefuseBeyondBudget(used_);
  }
  // A frame's layers each take at least a surface of the frame's size: a count the budget cannot
  // hold is refused before the first of them is decoded, not after hundreds were.
  void CheckLayersFit(int32_t layers, int32_t width, int32_t height, int32_t bits) const {
    const int64_t pixels = width > 0 && height > 0 ? int64_t{width} * height : 0;
    const int64_t each = std::max(TDIBSurface::BytesFor(width, height, bits), pixels);
    if (layers <= 0 || each <= 0) return;
    const int64_t most = std::min(budget_, kLoadBudget) + 1;
    RefuseBeyondBudget(layers > (most - used_) / each ? used_ + int64_t{layers} * std::min(each, most) : 0);
  }
  void RefuseBeyondBudget(int64_t total) const {
    if (total > kLoadBudget) throw EFormatError("picture needs more memory than this program allows");
    if (total > budget_) {
      throw EFormatError("picture of " + Num(std::max<int64_t>(0, size_ - start_)) + " bytes asks for " +
                         Num(total) + " bytes (or pixels) of pictures; its data could not fill them");
    }
  }

  void ReadHeader() {
    int32_t version = 0;
    ReadSignature(stream_, version);
    list_.Version = version;
    HeaderRecord record{};
    if (version >= 103) {
      const int32_t n = ReadLength("header size");
      ReadBytes(&record, std::min<int32_t>(n, sizeof record), "header");
      // Bytes past the 40 known ones have no meaning; they are skipped.
      if (n > static_cast<int32_t>(sizeof record)) Skip(n - static_cast<int32_t>(sizeof record), "header");
      list_.BackgroundColor = record.background_color;
    } else {
      record.version = version;
      record.frame_count = Read<int32_t>("frame count");
      Skip(1, "header");
      if (version == 102) list_.BackgroundColor = Read<uint32_t>("background colour");
    }
    list_.BottomLayerOpaque = version >= 105 ? record.bottom_layer_opaque : 0;
    layout_version_ = record.version;
    frame_count_ = record.frame_count;
    shuffled_ = record.shuffled != 0;
    compression_ = record.compression;
    block_width_ = record.block_width;
    block_height_ = record.block_height;
  }

  void ReadFrame(TRuxaFrame& frame, int32_t index) {
    rows_told_ = false;
    frame.Name = ReadName("frame name");
    frame.TransColor = Read<int32_t>("frame colour key");
    frame.Delay = Read<int32_t>("frame delay");
    frame.Option = Read<uint8_t>("frame option");
    Skip(4, "frame header");
    const int32_t layers = Read<int32_t>("layer count");
    const int32_t width = Read<int32_t>("frame width");
    const int32_t height = Read<int32_t>("frame height");
    const int32_t bits = Read<int32_t>("bits per pixel");
    const std::string where = "frame " + Num(index);
    if (width < 0 || height < 0) {
      throw EFormatError(where + " has an impossible size (" + Num(width) + " x " + Num(height) + ")");
    }
    if (!TDIBSurface::IsSupportedBitCount(bits)) {
      throw EFormatError(where + " has an unsupported bit depth (" + Num(bits) + ")");
    }
    // Every layer takes at least its fixed fields; a count beyond what the data holds is damage.
    const int64_t min_layer =
        8 + 1 + 4 + 4 + (layout_version_ >= 101 ? 1 : 0) + 4 + 4 + (layout_version_ >= 100 ? 4 : 0);
    if (layers < 0 || layers > Remaining() / min_layer) {
      throw EFormatError(where + " has an impossible layer count (" + Num(layers) + ")");
    }
    TDIBSurface::CheckSize(width, height, bits);
    ChargeSurface(width, height, bits);
    CheckLayersFit(layers - 1, width, height, bits);  // the first one's plane speaks for itself
    frame.Surface.SetSize(width, height, bits);
    TDIBSurface& surface = frame.Surface;
    if (bits <= 8) {
      const int32_t entries = 1 << bits;
      ReadBytes(surface.Palette().data(), 4 * entries, "palette");
      surface.UpdatePalette();
    }
    if (frame.TransColor < 0) {
      frame.TransRGB = -1;
    } else if (bits <= 8) {
      // The palette holds 256 entries; a key beyond them names no colour at all.
      frame.TransRGB =
          frame.TransColor < 256
              ? static_cast<int32_t>(surface.PixelToColor(static_cast<uint32_t>(frame.TransColor)))
              : -1;
    } else {
      frame.TransRGB = static_cast<int32_t>(surface.PixelToColor(static_cast<uint32_t>(frame.TransColor)));
    }
    // The background goes under the first layer drawn over it. A bottom layer copied whole covers
    // it, and painting it first would cost a pass over the whole picture for nothing.
    bool background_done = false;
    const auto paint_background = [&] {
      if (background_done) return;
      const uint32_t background = list_.BackgroundColor;
      surface.FillRect(
          surface.BoundsRect(),
          surface.ColorToPixel(ColorRed(background), ColorGreen(background), ColorBlue(background)));
      background_done = true;
    };
    try {
      bool first = true;
      for (int32_t i = 0; i < layers; ++i) {
        TRuxaLayer& layer = frame.AddLayer();
        // The rows of a frame made by its last layer alone are final as they are decoded, unless
        // a colour key is still to become its alpha plane.
        const bool rows_final =
            list_.OnRowsFinal && i == layers - 1 && !(apply_transparency_ && frame.TransRGB >= 0);
        const bool in_frame =
            ReadLayer(frame, layer, where + ", layer " + Num(i), first, rows_final ? index : -1);
        if (keep_layers_ && bits <= 8) {
          layer.Surface.Palette() = surface.Palette();
          layer.Surface.UpdatePalette();
        }
        if (!layer.Visible) continue;
        if (in_frame) {
          background_done = true;
          first = false;
          continue;
        }
        const TDIBSurface* alpha = layer.Surface.AlphaPlane();
        if (first && alpha && layer.AlphaOn) {
          ChargeSurface(width, height, 8);
          surface.CopyAlphaFrom(*alpha);
        }
        const TRect all = layer.Surface.BoundsRect();
        if (alpha && layer.AlphaOn && i > 0) {
          paint_background();
          surface.DrawAlpha(0, 0, 255, all, layer.Surface);
        } else if ((layer.TransColor < 0 || (first && list_.BottomLayerOpaque)) && layer.Opacity >= 255) {
          surface.CopyFrom(0, 0, layer.Surface);
          // Layers take the frame's size and depth, so the copy covers every pixel.
          if (layer.Surface.BitCount() == surface.BitCount() && all == surface.BoundsRect()) {
            background_done = true;
          }
        } else {
          paint_background();
          surface.DrawTranslucent(0, 0, layer.Opacity, layer.TransColor, all, layer.Surface);
        }
        first = false;
      }
    } catch (...) {
      // A damaged frame shows what was drawn before the damage; rows told final stay as they are.
      if (!rows_told_) paint_background();
      throw;
    }
    paint_background();
    if (layout_version_ >= 104) {
      ReadExtraList(frame.ExtraList1, "first extra list");
      ReadExtraList(frame.ExtraList2, "second extra list");
    }
  }

  void ReadExtraList(std::vector<TRuxaFrame::ExtraEntry>& list, const char* what) {
    const int32_t count = Read<int32_t>(what);
    if (count <= 0) return;
    if (count > Remaining() / 16) throw EFormatError(std::string("picture ends early (") + what + ")");
    list.resize(static_cast<size_t>(count));
    ReadBytes(list.data(), int64_t{count} * 16, what);
  }

  // Returns true when the colour plane went straight into the frame's surface (DecodesIntoFrame);
  // its rows are then told to OnRowsFinal as frame report_as, unless that is negative.
  bool ReadLayer(TRuxaFrame& frame, TRuxaLayer& layer, const std::string& where, bool bottom,
                 int32_t report_as) {
    Skip(8, "layer header");
    layer.Visible = Read<uint8_t>("layer visibility");
    layer.TransColor = Read<int32_t>("layer colour key");
    layer.Opacity = Read<int32_t>("layer opacity");
    layer.AlphaOn = layout_version_ >= 101 ? Read<uint8_t>("layer alpha flag") : 0;
    layer.Name = ReadName("layer name");
    const int32_t colour_size = ReadLength("colour plane size");
    const int32_t width = frame.Surface.Width(), height = frame.Surface.Height();
    const int32_t bits = frame.Surface.EffectiveBitCount();
    CheckPlaneCanFill(colour_size, false, width, height, bits, where + ", colour plane");
    ChargeSurface(width, height, bits);
    const int64_t colour_start = stream_.GetPosition();
    const bool in_frame = bottom && DecodesIntoFrame(frame, layer, colour_start, colour_size);
    if (in_frame) {
      std::function<void(int32_t)> on_rows;
      if (report_as >= 0) {
        on_rows = [&](int32_t rows) {
          rows_told_ = true;
          list_.OnRowsFinal(report_as, frame.Surface, rows);
        };
      }
      DecodePlane(colour_size, false, frame.Surface, where + ", colour plane", on_rows);
    } else {
      layer.Surface.SetSize(width, height, bits);
      DecodePlane(colour_size, false, layer.Surface, where + ", colour plane");
    }
    stream_.SetPosition(colour_start + colour_size);
    if (layout_version_ < 100) return in_frame;
    const int32_t alpha_size = Read<int32_t>("alpha plane size");
    if (alpha_size <= 0) return in_frame;
    if (alpha_size > Remaining()) throw EFormatError("picture ends early (" + where + ", alpha plane)");
    if (layer.AlphaOn) layer.TransColor = -1;  // the alpha plane replaces the colour key
    CheckPlaneCanFill(alpha_size, true, width, height, 8, where + ", alpha plane");
    ChargeSurface(width, height, 8);
    layer.Surface.EnsureAlphaPlane();
    const int64_t alpha_start = stream_.GetPosition();
    DecodePlane(alpha_size, true, *layer.Surface.AlphaPlane(), where + ", alpha plane");
    stream_.SetPosition(alpha_start + alpha_size);
    return in_frame;
  }

  // A JPEG colour plane that the frame takes whole - the bottom visible layer, opaque, without an
  // alpha plane, in a 24-bit frame whose layers are not kept - is decoded straight into the
  // frame's surface: the layer's own picture would be made only to be copied over and dropped.
  bool DecodesIntoFrame(const TRuxaFrame& frame, const TRuxaLayer& layer, int64_t colour_start,
                        int32_t colour_size) {
    if (keep_layers_ || !LayoutOf(false).jpeg || frame.Surface.BitCount() != 24 || !layer.Visible ||
        layer.Opacity < 255 || (layer.TransColor >= 0 && !list_.BottomLayerOpaque)) {
      return false;
    }
    if (layout_version_ < 100) return true;
    // The alpha plane's size follows the colour plane.
    const int64_t at = colour_start + colour_size;
    if (size_ - at < 4) return false;  // the normal path reports the damage
    stream_.SetPosition(at);
    const int32_t alpha_size = Read<int32_t>("alpha plane size");
    stream_.SetPosition(colour_start);
    return alpha_size <= 0;
  }

  // The plane's bytes at the current position: straight out of a memory stream's buffer, else
  // copied into `copy`.
  const uint8_t* PlaneBytes(int32_t size, std::vector<uint8_t>& copy) {
    if (memory_) return reinterpret_cast<const uint8_t*>(memory_->Memory()) + memory_->GetPosition();
    copy.resize(static_cast<size_t>(size));
    ReadBytes(copy.data(), size, "plane");
    return copy.data();
  }

  // How a plane is stored, by the header and by the kind of plane. The coding is the record's
  // Compression alone, whatever its version (a record-less picture has 0, zlib); values other than
  // 0 and 2 mean the raw plane, as 1 does.
  struct PlaneLayout {
    bool jpeg = false;    // a JPEG stream (colour planes only)
    bool blocks = false;  // block layout, else rows
    bool zlib = false;    // inflate first
    bool shuffled = false;
  };
  PlaneLayout LayoutOf(bool alpha) const {
    const bool modern = layout_version_ >= 103;
    const bool jpeg_coding = compression_ == kCompressionJpeg;
    PlaneLayout layout;
    layout.jpeg = jpeg_coding && !alpha;
    layout.blocks = modern && block_width_ > 0 && block_height_ > 0 && !jpeg_coding;
    layout.zlib = compression_ == kCompressionZlib || (jpeg_coding && alpha);
    layout.shuffled = modern && shuffled_ && !jpeg_coding;
    return layout;
  }

  // Refuses, before its target is allocated, a plane whose stored bytes could never fill it: a raw
  // plane needs its whole rows (or its block table), and zlib expands data at most 1032 times.
  // A JPEG plane's size is checked against its own header before decoding.
  void CheckPlaneCanFill(int64_t stored, bool alpha, int32_t width, int32_t height, int32_t bits,
                         const std::string& what) const {
    const PlaneLayout layout = LayoutOf(alpha);
    if (layout.jpeg) return;
    const int64_t needed = layout.blocks
                               ? ruxa::MakeGrid(width, height, block_width_, block_height_).Count() * 8
                               : TDIBSurface::BytesFor(width, height, bits);
    // Tiny blocks on a huge picture make a table far larger than the picture itself; a few bytes
    // of zlib data could otherwise make us inflate gigabytes of it.
    if (layout.blocks && needed > kLoadBudget) {
      throw EFormatError(what + " has a block table of " + Num(needed / 8) +
                         " blocks, more than this program allows");
    }
    if ((layout.zlib ? stored * 1032 + 1024 : stored) < needed) {
      throw EFormatError(what + " holds " + Num(stored) + (layout.zlib ? " bytes of zlib data" : " bytes") +
                         "; the picture needs " + Num(needed));
    }
  }

  void DecodePlane(int32_t size, bool alpha, TDIBSurface& target, const std::string& what,
                   const std::function<void(int32_t)>& on_rows = {}) {
    std::vector<uint8_t> copy;
    const uint8_t* data = PlaneBytes(size, copy);
    const PlaneLayout layout = LayoutOf(alpha);
    if (layout.jpeg) {
      DecodeJpegInto(data, static_cast<size_t>(size), target, what, on_rows);
      return;
    }
    ruxa::BlockGrid grid;
    if (layout.blocks) grid = ruxa::MakeGrid(target.Width(), target.Height(), block_width_, block_height_);
    std::vector<uint8_t> inflated;
    size_t length = static_cast<size_t>(size);
    if (layout.zlib) {
      const int64_t limit =
          layout.blocks ? ruxa::BlocksPlaneMaxBytes(target, grid) : ruxa::RowsPlaneBytes(target);
      inflated = ruxa::Inflate(data, length, limit, what);
      data = inflated.data();
      length = inflated.size();
    }
    if (!layout.blocks) {
      ruxa::DecodeRows(data, length, layout.shuffled ? list_.Key : 0, target, what);
      return;
    }
    const int32_t target_bits = target.EffectiveBitCount();
    auto reference = [&](int32_t tag, int32_t index) -> const TDIBSurface& {
      // a frame not (yet) read is named as such, not by the list's terse GetFrame error
      if (tag < 0 || tag >= list_.Count()) {
        throw EFormatError(what + ": a block refers to frame " + Num(tag) + ", which " +
                           (tag < 0 ? "cannot exist" : "is not read before this one"));
      }
      TRuxaFrame& source_frame = list_.GetFrame(tag);
      if (index < 0 || index >= source_frame.LayerCount()) {
        throw EFormatError(what + ": a block refers to layer " + Num(index) + " of frame " + Num(tag) +
                           ", which does not exist");
      }
      const TDIBSurface& layer_surface = source_frame.Layer(index).Surface;
      const TDIBSurface* source = alpha ? layer_surface.AlphaPlane() : &layer_surface;
      if (!source) {
        throw EFormatError(what + ": a block refers to the alpha plane of layer " + Num(index) +
                           " of frame " + Num(tag) + ", which has none");
      }
      if (source->EffectiveBitCount() != target_bits) {
        throw EFormatError(what + ": a block refers to a layer of another bit depth");
      }
      return *source;
    };
    ruxa::DecodeBlocks(data, length, grid, layout.shuffled, list_.Key, target, reference, what);
  }

  void DecodeJpegInto(const uint8_t* data, size_t size, TDIBSurface& target, const std::string& what,
                      const std::function<void(int32_t)>& on_rows) {
    const int32_t bits = target.EffectiveBitCount();
    if (bits <= 8)
      throw EFormatError(what + ": a JPEG plane in a picture of " + Num(bits) + " bits per pixel");
    try {
      DecodeJpegPlane(data, size, target.Width(), target.Height(), target, on_rows);
    } catch (const EFormatError& e) {
      throw EFormatError(what + ": " + e.what());
    }
    // The layer keeps the frame's pixel format, so that it composites like any other layer.
    if (bits != 24) target.ConvertBitCount(bits);
  }

  // Makes colour keys into alpha planes and palette pictures into 24-bit ones.
  void ApplyTransparency(TRuxaFrame& frame) {
    TDIBSurface& surface = frame.Surface;
    if (frame.TransRGB >= 0) {
      if (!surface.AlphaPlane()) MakeKeyedAlpha(surface, frame.TransColor);
      if (keep_layers_) {
        for (int32_t i = 0; i < frame.LayerCount(); ++i) {
          TRuxaLayer& layer = frame.Layer(i);
          if (layer.Surface.AlphaPlane()) continue;
          MakeKeyedAlpha(layer.Surface, layer.TransColor >= 0 ? layer.TransColor : frame.TransColor);
        }
      }
    }
    if (surface.BitCount() <= 8) {
      ChargeSurface(surface.Width(), surface.Height(), 24);
      int32_t found_x = -1, found_y = -1;
      if (!KeyCannotOccur(frame.TransColor, surface.BitCount())) {
        for (int32_t y = 0; y < surface.Height() && found_y < 0; ++y) {
          for (int32_t x = 0; x < surface.Width(); ++x) {
            if (int64_t{surface.Pixels(x, y)} == frame.TransColor) {
              found_x = x;
              found_y = y;
              break;
            }
          }
        }
      }
      surface.ConvertBitCount(24);
      if (found_y >= 0) frame.TransColor = static_cast<int32_t>(surface.Pixels(found_x, found_y));
      if (keep_layers_) {
        for (int32_t i = 0; i < frame.LayerCount(); ++i) {
          ChargeSurface(surface.Width(), surface.Height(), 24);
          frame.Layer(i).Surface.ConvertBitCount(24);
        }
      }
    }
  }

  void MakeKeyedAlpha(TDIBSurface& surface, int32_t key) {
    ChargeSurface(surface.Width(), surface.Height(), 8);
    surface.EnsureAlphaPlane();
    surface.FillAlphaOpaque();
    if (KeyCannotOccur(key, surface.BitCount())) return;
    TDIBSurface& alpha = *surface.AlphaPlane();
    for (int32_t y = 0; y < surface.Height(); ++y) {
      uint8_t* a = alpha.ScanLine(y);
      for (int32_t x = 0; x < surface.Width(); ++x) {
        if (int64_t{surface.Pixels(x, y)} == key) a[x] = 0;
      }
    }
  }

  TRuxaFrameList& list_;
  TStream& stream_;
  TMemoryStream* memory_;
  int64_t start_;
  int64_t size_;
  bool apply_transparency_;
  bool keep_layers_;
  int64_t budget_;
  int64_t used_ = 0;
  bool rows_told_ = false;  // OnRowsFinal heard of rows of the frame being read

  int32_t layout_version_ = 0;
  int32_t frame_count_ = 0;
  bool shuffled_ = false;
  int32_t compression_ = kCompressionZlib;
  int32_t block_width_ = 0;
  int32_t block_height_ = 0;
};

void TRuxaFrameList::LoadFromStream(TStream& stream, bool FirstFrameOnly, bool ApplyTransparency,
                                    bool KeepLayers) {
  Clear();
  BottomLayerOpaque = 0;
  RuxaLoader(*this, stream, ApplyTransparency, KeepLayers).Load(FirstFrameOnly);
}

}  // namespace vn
