// RXA pictures ("Ruxa" + three version digits): layered, multi-frame pictures whose frames are
// composited from their layers while loading. TRuxaFrameList reads one from a stream.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/rxa_probe.h"  // IsUncompressedRxa, which the packer needs below imaging
#include "archive/stream.h"
#include "imaging/dib_surface.h"

namespace vn {

class TRuxaFrame;
class TRuxaFrameList;

// All the surfaces of one load together may not take more than this, and a picture file read
// whole may not be larger: its planes could not fill more.
inline constexpr int64_t kRuxaMaxLoadBytes = int64_t{1} << 30;
inline constexpr int64_t kRuxaMaxFileBytes = kRuxaMaxLoadBytes;

class TRuxaLayer {
 public:
  explicit TRuxaLayer(TRuxaFrame& owner) : owner_(owner) {}
  TRuxaFrame& Owner() const { return owner_; }

  std::string Name;  // bytes as stored
  TDIBSurface Surface;
  uint8_t Visible = 0;
  int32_t TransColor = -1;
  int32_t Opacity = 255;
  uint8_t AlphaOn = 0;

 private:
  TRuxaFrame& owner_;
};

class TRuxaFrame {
 public:
  using ExtraEntry = std::array<int32_t, 4>;

  explicit TRuxaFrame(TRuxaFrameList& owner) : owner_(owner) {}
  TRuxaFrameList& Owner() const { return owner_; }

  int32_t LayerCount() const { return static_cast<int32_t>(layers_.size()); }
  TRuxaLayer& Layer(int32_t index);  // raises EFormatError outside the list
  TRuxaLayer& AddLayer();
  void ClearLayers() { layers_.clear(); }
  bool HasAlphaPlane() const { return Surface.AlphaPlane() != nullptr; }

  std::string Name;
  int32_t TransColor = -1;  // palette index at 8 bits or fewer, pixel value above; -1 none
  int32_t TransRGB = -1;    // the colour TransColor shows (red in the low byte), -1 none
  int32_t Delay = 0;
  uint8_t Option = 0;
  TDIBSurface Surface;
  std::vector<ExtraEntry> ExtraList1;
  std::vector<ExtraEntry> ExtraList2;

 private:
  TRuxaFrameList& owner_;
  std::vector<std::unique_ptr<TRuxaLayer>> layers_;
};

class TRuxaFrameList {
 public:
  explicit TRuxaFrameList(int32_t key) : Key(key) {}

  // Replaces the content with the picture at the stream's position. FirstFrameOnly reads one frame;
  // ApplyTransparency turns colour keys into alpha planes and palette frames into 24-bit ones;
  // KeepLayers keeps each frame's layers. A damaged picture raises EFormatError (the frames
  // read so far stay in the list). A memory stream's planes are decoded straight from its buffer.
  void LoadFromStream(TStream& stream, bool FirstFrameOnly, bool ApplyTransparency, bool KeepLayers);

  // Raises EFormatError "Error:TRuxaFrameList.GetFrame" outside the list.
  TRuxaFrame& GetFrame(int32_t index);
  int32_t Count() const { return static_cast<int32_t>(frames_.size()); }
  void Clear() { frames_.clear(); }

  // Heard while loading, on the loading thread, as rows of a frame's surface become final: the
  // frame's index, its surface and how many rows from the top are final. Only for a frame whose
  // surface is decoded straight from a JPEG plane and changed no more afterwards (its one drawn
  // layer, opaque, without alpha, and no colour key to apply); other frames are final only when
  // the load returns. Rows heard of are not written again, even when the load fails later.
  std::function<void(int32_t frame, const TDIBSurface& surface, int32_t rows)> OnRowsFinal;

  uint32_t BackgroundColor = 0;  // RGB colour value, red in the low byte
  int32_t Version = 0;           // from the signature; 0 without one
  int32_t Key;                   // seed of the shuffled layouts
  uint8_t BottomLayerOpaque = 0;

 private:
  friend class RuxaLoader;
  std::vector<std::unique_ptr<TRuxaFrame>> frames_;
};

}  // namespace vn
