#include "imaging/png_bands.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "imaging/png_deflate.h"
#include "imaging/png_filter.h"

namespace vn::png {

namespace {

// About this many bytes of filtered rows make a band: enough that what each band costs on its own
// (a fresh history, its own code tables, the filter's trial) does not show, few enough that the
// threads share the work evenly.
constexpr size_t kBandBytes = size_t{3} << 20;
// Each band takes the filter that compresses a sample of its rows (this many, from its middle)
// best. Eight rows span a block of a JPEG picture, whose rows differ most across block edges. Up
// suits pictures whose rows repeat a structure, Paeth most photographs and drawings; no one filter
// is best for all of them, and a third (Sub) did not win often enough to pay for its trial.
constexpr int32_t kSampleRows = 8;
constexpr RowFilter kCandidates[] = {RowFilter::kUp, RowFilter::kPaeth};
// Data that compresses below this share of its size (drawings, gradients) compresses fast with
// any deflate, and libdeflate, which works on the whole stream at once, makes it up to three times
// smaller than the pieces do.
constexpr size_t kWholeStreamShare = 8;
// A band done waits for the writer in one of this many slots per thread.
constexpr int32_t kSlotsPerThread = 2;
constexpr int32_t kMostThreads = 8;

// The zlib header: deflate, 32 KiB window, the "fastest" level hint.
constexpr uint8_t kZlibHeader[2] = {0x78, 0x01};

struct Layout {
  Layout(const TDIBSurface& s, const TDIBSurface* a, const RowsReady& r)
      : source(s),
        alpha(a),
        rows_ready(r),
        bpp(a ? 4 : 3),
        row_bytes(static_cast<size_t>(s.Width()) * bpp),
        stride(1 + row_bytes),
        band_rows(static_cast<int32_t>(std::clamp<size_t>(kBandBytes / stride, 1, size_t(s.Height())))),
        bands((s.Height() + band_rows - 1) / band_rows) {}
  int32_t Top(int32_t band) const { return band * band_rows; }
  int32_t Rows(int32_t band) const { return std::min(band_rows, source.Height() - Top(band)); }

  const TDIBSurface& source;
  const TDIBSurface* alpha;
  const RowsReady& rows_ready;
  size_t bpp;
  size_t row_bytes;
  size_t stride;  // the filter type byte and the row
  int32_t band_rows;
  int32_t bands;
};

// One thread's compressor and buffers, reused from band to band.
class BandWorker {
 public:
  explicit BandWorker(const Layout& layout)
      : layout_(layout), above_(layout.row_bytes), row_(layout.row_bytes) {}

  // Replaces out with band's piece of the zlib stream (after the zlib header for the first band);
  // returns the Adler-32 of the band's filtered rows.
  uint32_t Run(int32_t band, std::vector<uint8_t>& out) {
    filtered_.resize(layout_.stride * static_cast<size_t>(layout_.Rows(band)));
    FilterBand(band, filtered_.data());
    out.clear();
    if (band == 0) out.assign(std::begin(kZlibHeader), std::end(kZlibHeader));
    deflater_.Compress(filtered_.data(), filtered_.size(), band == layout_.bands - 1, out);
    return Adler32(1, filtered_.data(), filtered_.size());
  }

  // Writes the band's rows, filtered, to out.
  void FilterBand(int32_t band, uint8_t* out) {
    const int32_t top = layout_.Top(band), rows = layout_.Rows(band);
    WaitForBand(band);
    FilterRows(ChooseFilter(top, rows).filter, top, rows, out);
  }

  // Whether the picture's data compresses so well that the whole stream should be made at once:
  // judged by the sample of its first band, the first to be ready.
  bool CompressesVeryWell() {
    WaitForBand(0);
    const Trial best = ChooseFilter(0, layout_.Rows(0));
    return best.compressed * kWholeStreamShare < best.filtered;
  }

 private:
  struct Trial {
    RowFilter filter;
    size_t filtered;    // bytes of the sample's filtered rows
    size_t compressed;  // and compressed
  };

  Trial ChooseFilter(int32_t top, int32_t rows) {
    const int32_t sample = std::min(kSampleRows, rows);
    const int32_t from = top + (rows - sample) / 2;
    sample_.resize(layout_.stride * static_cast<size_t>(sample));
    Trial best{kCandidates[0], sample_.size(), SIZE_MAX};
    for (RowFilter candidate : kCandidates) {
      FilterRows(candidate, from, sample, sample_.data());
      trial_.clear();
      deflater_.Compress(sample_.data(), sample_.size(), false, trial_);
      if (trial_.size() < best.compressed) {
        best.filter = candidate;
        best.compressed = trial_.size();
      }
    }
    return best;
  }

  void WaitForBand(int32_t band) {
    if (layout_.rows_ready) layout_.rows_ready(layout_.Top(band) + layout_.Rows(band));
  }

  void FilterRows(RowFilter filter, int32_t top, int32_t rows, uint8_t* out) {
    if (top > 0) {
      PackRow(layout_.source, layout_.alpha, top - 1, above_.data());
    } else {
      std::fill(above_.begin(), above_.end(), uint8_t{0});
    }
    for (int32_t i = 0; i < rows; ++i) {
      PackRow(layout_.source, layout_.alpha, top + i, row_.data());
      FilterRow(filter, row_.data(), above_.data(), layout_.row_bytes, layout_.bpp,
                out + layout_.stride * static_cast<size_t>(i));
      above_.swap(row_);
    }
  }

  const Layout& layout_;
  PieceDeflater deflater_;
  std::vector<uint8_t> above_, row_, filtered_, sample_, trial_;
};

// Joins the checksum of the band into the stream's; the last band also gets the zlib trailer.
void FinishPiece(const Layout& layout, int32_t band, uint32_t band_adler, uint32_t& adler,
                 std::vector<uint8_t>& piece) {
  adler = CombineAdler32(adler, band_adler, layout.stride * static_cast<size_t>(layout.Rows(band)));
  if (band != layout.bands - 1) return;
  for (int shift = 24; shift >= 0; shift -= 8) piece.push_back(static_cast<uint8_t>(adler >> shift));
}

// Bands filtered and compressed by worker threads, handed to the sink in order by the calling
// thread; at most kSlotsPerThread bands per thread wait to be written.
class BandPool {
 public:
  BandPool(const Layout& layout, int32_t threads)
      : layout_(layout), slots_(static_cast<size_t>(threads * kSlotsPerThread)) {
    for (int32_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~BandPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  void WriteAll(const PieceSink& sink) {
    uint32_t adler = 1;
    for (int32_t band = 0; band < layout_.bands; ++band) {
      Slot& slot = SlotOf(band);
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return slot.ready || error_; });
        if (error_) std::rethrow_exception(error_);
      }
      FinishPiece(layout_, band, slot.adler, adler, slot.piece);
      sink(slot.piece.data(), slot.piece.size());
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slot.ready = false;
        ++written_;
      }
      changed_.notify_all();
    }
  }

 private:
  struct Slot {
    std::vector<uint8_t> piece;
    uint32_t adler = 0;
    bool ready = false;
  };
  Slot& SlotOf(int32_t band) { return slots_[static_cast<size_t>(band) % slots_.size()]; }

  void Work() {
    try {
      BandWorker worker(layout_);
      while (true) {
        int32_t band = 0;
        {
          std::unique_lock<std::mutex> lock(mutex_);
          changed_.wait(lock, [&] {
            return stop_ || next_ >= layout_.bands || next_ < written_ + static_cast<int32_t>(slots_.size());
          });
          if (stop_ || next_ >= layout_.bands) return;
          band = next_++;
        }
        Slot& slot = SlotOf(band);
        const uint32_t adler = worker.Run(band, slot.piece);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          slot.adler = adler;
          slot.ready = true;
        }
        changed_.notify_all();
      }
    } catch (...) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) error_ = std::current_exception();
        stop_ = true;
      }
      changed_.notify_all();
    }
  }

  const Layout& layout_;
  std::vector<Slot> slots_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int32_t next_ = 0;     // the next band to take up
  int32_t written_ = 0;  // bands handed to the sink
  bool stop_ = false;
  std::exception_ptr error_;
};

// The filtered rows held whole and compressed in one call.
void CompressWhole(const Layout& layout, BandWorker& worker, const PieceSink& sink) {
  std::vector<uint8_t> filtered(layout.stride * static_cast<size_t>(layout.source.Height()));
  for (int32_t band = 0; band < layout.bands; ++band) {
    worker.FilterBand(band, filtered.data() + layout.stride * static_cast<size_t>(layout.Top(band)));
  }
  std::vector<uint8_t> stream;
  CompressWholeStream(filtered.data(), filtered.size(), stream);
  sink(stream.data(), stream.size());
}

}  // namespace

void CompressImageData(const TDIBSurface& source, const TDIBSurface* alpha, const PieceSink& sink,
                       const RowsReady& rows_ready) {
  const Layout layout(source, alpha, rows_ready);
  {
    BandWorker worker(layout);
    if (HaveWholeStream() && worker.CompressesVeryWell()) {
      CompressWhole(layout, worker, sink);
      return;
    }
  }
  const int32_t threads = std::min<int32_t>(
      {static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency())), kMostThreads, layout.bands});
  if (threads > 1) {
    BandPool(layout, threads).WriteAll(sink);
    return;
  }
  BandWorker worker(layout);
  std::vector<uint8_t> piece;
  uint32_t adler = 1;
  for (int32_t band = 0; band < layout.bands; ++band) {
    FinishPiece(layout, band, worker.Run(band, piece), adler, piece);
    sink(piece.data(), piece.size());
  }
}

}  // namespace vn::png
