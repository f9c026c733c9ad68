// A PNG's image data made band by band: each band of rows is filtered and compressed on its own
// (on as many threads as the machine has), and the pieces come out in order as one zlib stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "imaging/dib_surface.h"

namespace vn::png {

// Receives the zlib stream piece by piece, in order, on the calling thread. An exception it raises
// stops the work and comes out of CompressImageData.
using PieceSink = std::function<void(const uint8_t* data, size_t size)>;

// Returns once the first `rows` rows of the picture are final; raises when they never will be.
// Called from any of the threads.
using RowsReady = std::function<void(int32_t rows)>;

// The image data of a 24-bit surface (RGB, or RGBA with alpha's plane) as one zlib stream. With
// rows_ready, the picture may still be in the making: each band waits for its rows.
void CompressImageData(const TDIBSurface& source, const TDIBSurface* alpha, const PieceSink& sink,
                       const RowsReady& rows_ready = {});

}  // namespace vn::png
