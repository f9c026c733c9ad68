// Writes a photo-like PNG (smooth light, texture and grain) for the picture benchmarks:
// make_sample_picture OUT.png WIDTH HEIGHT
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "imaging/png_io.h"
#include "platform/file.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_sample_picture OUT.png WIDTH HEIGHT\n");
    return 2;
  }
  try {
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    vn::TDIBSurface s;
    s.SetSize(w, h, 24);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y) {
      uint8_t* row = s.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const double grain = static_cast<double>(seed >> 24) / 32.0 - 4.0;
        const double sky = 1.0 - static_cast<double>(y) / h;
        const double hills = 0.5 + 0.5 * std::sin(x * 0.013 + std::sin(y * 0.021) * 2.0);
        const double texture = 0.5 + 0.5 * std::sin(x * 0.11) * std::cos(y * 0.07);
        auto clamp = [](double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
        row[3 * x + 2] = clamp(60 + 150 * sky * hills + 30 * texture + grain);        // red
        row[3 * x + 1] = clamp(80 + 120 * hills + 25 * texture * (1 - sky) + grain);  // green
        row[3 * x + 0] = clamp(40 + 200 * sky + 20 * texture + grain);                // blue
      }
    }
    vn::WriteFileAtomically(argv[1], vn::EncodePng(s, false));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sample_picture: %s\n", e.what());
    return 2;
  }
  return 0;
}
