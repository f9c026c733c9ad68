// Checksums: verifying an archive's entries, and the CRC-32 of streams.
#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <zlib.h>

#include "archive/crc32.h"
#include "archive/vr_files.h"
#include "platform/error.h"

namespace vn {

namespace {
constexpr int64_t kCrcBufferSize = 1048576;
}

uint32_t RangeCRC32(TBigStream& stream, int64_t count, char* buffer, int64_t buffer_length) {
  uint32_t crc = 0;
  while (count > 0) {
    const int64_t n = std::min({stream.GetSize() - stream.GetPosition(), buffer_length, count});
    if (n <= 0) break;  // the stream ended early: the checksum covers what there was
    const int64_t got = stream.Read(buffer, n);
    if (got <= 0) break;
    crc = Crc32Update(crc, buffer, static_cast<size_t>(got));
    count -= got;
  }
  return crc;
}

uint32_t StreamCRC32(TStream& stream) {
  stream.SetPosition(0);
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    return Crc32Update(0, memory->Memory(), static_cast<size_t>(memory->GetSize()));
  }
  std::vector<char> buffer(kCrcBufferSize);
  uint32_t crc = 0;
  for (;;) {
    const int64_t got = stream.Read(buffer.data(), kCrcBufferSize);
    if (got <= 0) break;
    crc = Crc32Update(crc, buffer.data(), static_cast<size_t>(got));
  }
  return crc;
}

bool TVrFileCollection::CallProgress(TVrFile& item, int64_t size, int32_t index, int32_t total) {
  if (!OnProgress) return false;
  bool abort = false;
  OnProgress(*this, item, size, index, total, abort);
  return abort;
}

namespace {

// Reads count bytes at position, fewer only where the stream ends.
int64_t ReadUpTo(TBigStream& stream, int64_t position, char* buffer, int64_t count) {
  stream.SetPosition(position);
  int64_t done = 0;
  while (done < count) {
    const int64_t got = stream.Read(buffer + done, count - done);
    if (got <= 0) break;
    done += got;
  }
  return done;
}

// Reads a range of a big stream on a second thread, a few chunks ahead of the checksum, so that the
// copy out of the page cache (or the disk) and the CRC overlap instead of taking turns. A range that
// fits one chunk is read at once, without the thread: archives of many tiny entries that are not
// stored in order would otherwise pay a hand-over for each.
class RangeReader {
 public:
  explicit RangeReader(TBigStream& stream) : stream_(stream) {}
  ~RangeReader() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  RangeReader(const RangeReader&) = delete;
  RangeReader& operator=(const RangeReader&) = delete;

  // Starts handing out the bytes [begin, end); what is left of the previous range is dropped.
  void Start(int64_t begin, int64_t end) {
    std::unique_lock lock(mutex_);
    Abandon(lock);
    if (error_) std::rethrow_exception(error_);
    filled_ = consumed_ = 0;
    release_pending_ = false;
    offset_in_chunk_ = 0;
    position_ = begin;
    next_read_ = begin;
    end_ = end;
    if (end - begin <= kChunkSize) {
      lock.unlock();
      chunks_[0].resize(static_cast<size_t>(kChunkSize));
      lengths_[0] = ReadAt(begin, chunks_[0].data(), std::max<int64_t>(0, end - begin));
      filled_ = 1;
      ended_ = true;
      return;
    }
    ended_ = false;
    busy_ = true;
    if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
    lock.unlock();
    changed_.notify_all();
  }

  // Drops what is left of the range: the thread no longer reads the stream when this returns.
  void Stop() {
    std::unique_lock lock(mutex_);
    Abandon(lock);
  }

  // The position of the next byte Take hands out.
  int64_t Position() const { return position_; }

  // Up to `max` bytes from the position on; none when the range or the stream has ended. The bytes
  // stay valid until the next call.
  std::pair<const char*, int64_t> Take(int64_t max) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (release_pending_) {
        release_pending_ = false;
        ++consumed_;
        offset_in_chunk_ = 0;
        changed_.notify_all();
      }
      changed_.wait(lock, [&] { return filled_ > consumed_ || ended_; });
      if (filled_ == consumed_) {
        if (error_) std::rethrow_exception(error_);
        return {nullptr, 0};
      }
      const size_t index = consumed_ % kChunkCount;
      const int64_t available = lengths_[index] - offset_in_chunk_;
      if (available <= 0) {  // an empty chunk: the stream ended
        release_pending_ = true;
        continue;
      }
      const int64_t n = std::min(max, available);
      const char* p = chunks_[index].data() + offset_in_chunk_;
      offset_in_chunk_ += n;
      position_ += n;
      if (offset_in_chunk_ == lengths_[index]) release_pending_ = true;
      return {p, n};
    }
  }

  // Passes over `count` bytes; false when the range or the stream ended first.
  bool Skip(int64_t count) {
    while (count > 0) {
      const int64_t n = Take(count).second;
      if (n <= 0) return false;
      count -= n;
    }
    return true;
  }

 private:
  static constexpr int64_t kChunkSize = 1 << 20;
  static constexpr size_t kChunkCount = 4;

  void Abandon(std::unique_lock<std::mutex>& lock) {
    abandon_ = true;
    consumed_ = filled_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !busy_; });
    abandon_ = false;
  }

  int64_t ReadAt(int64_t position, char* buffer, int64_t count) {
    return ReadUpTo(stream_, position, buffer, count);
  }

  void Work() {
    for (;;) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock,
                    [&] { return stop_ || (busy_ && (abandon_ || filled_ - consumed_ < kChunkCount)); });
      if (stop_) return;
      if (abandon_) {
        busy_ = false;
        lock.unlock();
        changed_.notify_all();
        continue;
      }
      const size_t index = filled_ % kChunkCount;
      const int64_t position = next_read_;
      const int64_t want = std::min(kChunkSize, end_ - position);
      lock.unlock();

      std::exception_ptr error;
      int64_t got = 0;
      try {
        chunks_[index].resize(static_cast<size_t>(kChunkSize));
        got = ReadAt(position, chunks_[index].data(), std::max<int64_t>(0, want));
      } catch (...) {
        error = std::current_exception();
      }

      lock.lock();
      lengths_[index] = got;
      next_read_ += got;
      ++filled_;
      if (error || got < want || next_read_ >= end_ || abandon_) {
        error_ = error;
        ended_ = true;
        busy_ = false;
      }
      lock.unlock();
      changed_.notify_all();
    }
  }

  TBigStream& stream_;
  std::array<std::vector<char>, kChunkCount> chunks_;
  std::array<int64_t, kChunkCount> lengths_{};
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Chunks are filled and consumed in turn; both counts only grow within a range.
  size_t filled_ = 0;
  size_t consumed_ = 0;
  bool release_pending_ = false;
  int64_t offset_in_chunk_ = 0;
  int64_t position_ = 0;
  int64_t next_read_ = 0;
  int64_t end_ = 0;
  bool busy_ = false;  // the thread is reading a range
  bool abandon_ = false;
  bool ended_ = true;
  bool stop_ = false;
  std::exception_ptr error_;
};

// Gaps up to this size between the entries checked are read through rather than jumped over.
constexpr int64_t kLargestGapReadThrough = 1 << 20;

bool IsChecked(const TVrEntryData& entry) {
  // Entries without a checksum, and superseded ones, are not checked.
  return entry.crc != 0 && !entry.superseded;
}

// A part of a checked entry (all of a small one) and its checksum once read.
struct Segment {
  size_t entry;  // into the batch
  int64_t offset;
  int64_t length;
  uint32_t crc = 0;
  int64_t got = 0;  // the bytes there were: fewer than length where the stream ended
};

// Segments that follow each other in the stream, read with one call into a buffer of kJobSpan bytes.
struct ReadJob {
  size_t first;  // into the segments
  size_t end;
  int64_t begin;  // the stream range read
  int64_t stop;
};

constexpr int64_t kJobSpan = 1 << 20;
// A batch is checked before the next is read: its entries are then judged and reported in order.
constexpr int64_t kBatchBytes = int64_t{64} << 20;
constexpr size_t kBatchEntries = 8192;

void RunReadJobs(TBigStream& stream, const std::vector<ReadJob>& jobs, std::vector<Segment>& segments,
                 std::atomic<size_t>& next) {
  std::vector<char> buffer(static_cast<size_t>(kJobSpan));
  for (size_t k; (k = next.fetch_add(1)) < jobs.size();) {
    const ReadJob& job = jobs[k];
    const int64_t got = ReadUpTo(stream, job.begin, buffer.data(), job.stop - job.begin);
    for (size_t i = job.first; i < job.end; ++i) {
      Segment& segment = segments[i];
      const int64_t at = segment.offset - job.begin;
      segment.got = std::clamp<int64_t>(got - at, 0, segment.length);
      segment.crc = Crc32Update(0, buffer.data() + at, static_cast<size_t>(segment.got));
    }
  }
}

// The checksums of a batch's checked entries, the reading and summing shared by this thread and one
// more, which reads through `second` (a stream of its own over the same data).
void SumOnTwoThreads(TBigStream& data, TBigStream& second, const std::vector<TVrEntryData>& batch,
                     std::vector<uint32_t>& crcs) {
  std::vector<Segment> segments;
  std::vector<ReadJob> jobs;
  for (size_t i = 0; i < batch.size(); ++i) {
    const TVrEntryData& entry = batch[i];
    if (!IsChecked(entry)) continue;
    const int64_t offset = std::max<int64_t>(0, entry.offset);
    const int64_t size = std::max<int64_t>(0, entry.size);
    for (int64_t at = 0; at < size; at += kJobSpan)
      segments.push_back({i, offset + at, std::min(kJobSpan, size - at)});
  }
  // Segments in stream order with small gaps share a read, as long as it fits the buffer.
  for (size_t k = 0; k < segments.size(); ++k) {
    const Segment& segment = segments[k];
    const int64_t stop = segment.offset + segment.length;
    if (!jobs.empty()) {
      ReadJob& job = jobs.back();
      if (segment.offset >= job.stop && segment.offset - job.stop <= kLargestGapReadThrough &&
          stop - job.begin <= kJobSpan) {
        job.end = k + 1;
        job.stop = stop;
        continue;
      }
    }
    jobs.push_back({k, k + 1, segment.offset, stop});
  }

  std::atomic<size_t> next{0};
  std::exception_ptr error;
  std::thread helper([&] {
    try {
      RunReadJobs(second, jobs, segments, next);
    } catch (...) {
      error = std::current_exception();
    }
  });
  try {
    RunReadJobs(data, jobs, segments, next);
  } catch (...) {
    next = jobs.size();  // the helper takes no more
    helper.join();
    throw;
  }
  helper.join();
  if (error) std::rethrow_exception(error);

  // an entry's pieces joined in order
  for (size_t k = 0; k < segments.size(); ++k) {
    const Segment& segment = segments[k];
    uint32_t& crc = crcs[segment.entry];
    crc = k > 0 && segments[k - 1].entry == segment.entry
              ? static_cast<uint32_t>(crc32_combine(crc, segment.crc, static_cast<z_off_t>(segment.got)))
              : segment.crc;
  }
}

// The same on this thread, with the read-ahead of `reader`: the checked entries that follow each
// other in the stream are read as one range.
void SumWithReadAhead(RangeReader& reader, const std::vector<TVrEntryData>& batch,
                      std::vector<uint32_t>& crcs) {
  size_t run_end = 0;  // the entries before it belong to the range being read
  for (size_t i = 0; i < batch.size(); ++i) {
    const TVrEntryData& entry = batch[i];
    if (!IsChecked(entry)) continue;
    if (i >= run_end) {
      const int64_t begin = std::max<int64_t>(0, entry.offset);
      int64_t end = begin + std::max<int64_t>(0, entry.size);
      run_end = i + 1;
      for (size_t k = i + 1; k < batch.size(); ++k) {
        const TVrEntryData& next = batch[k];
        if (!IsChecked(next)) continue;
        if (next.offset < end || next.offset - end > kLargestGapReadThrough) break;
        end = next.offset + std::max<int64_t>(0, next.size);
        run_end = k + 1;
      }
      reader.Start(begin, end);
    }
    uint32_t crc = 0;
    if (reader.Skip(std::max<int64_t>(0, entry.offset) - reader.Position())) {
      for (int64_t left = entry.size; left > 0;) {
        const auto [bytes, n] = reader.Take(left);
        if (n <= 0) break;  // the stream ended early: the checksum covers what there was
        crc = Crc32Update(crc, bytes, static_cast<size_t>(n));
        left -= n;
      }
    }
    crcs[i] = crc;
  }
}

}  // namespace

TVrEntryData EntryDataOf(const TVrFile& entry) {
  return {entry.Offset, entry.Size,     entry.CRC,
          entry.Stored, entry.Separate, !entry.Name().empty() && entry.Name()[0] == '/'};
}

TVrEntryData EntryDataOf(const DirectoryEntry& entry, int64_t start) {
  return {entry.offset + start, entry.size,     entry.crc,
          entry.stored,         entry.separate, !entry.name.empty() && entry.name[0] == '/'};
}

bool VerifyEntryData(TBigStream& data, TBigStream* second, const std::function<bool(TVrEntryData&)>& next,
                     const std::function<bool(int32_t, int64_t)>& progress, int* bad_index) {
  if (bad_index != nullptr) *bad_index = -1;
  std::optional<RangeReader> reader;
  if (second == nullptr) reader.emplace(data);
  std::vector<TVrEntryData> batch;
  std::vector<uint32_t> crcs;
  int32_t index = 0;  // of the batch's first entry
  int64_t bytes_before = 0;
  for (bool more = true; more;) {
    // The next batch, checked as a whole, then judged in entry order as if read one by one.
    batch.clear();
    int64_t bytes = 0;
    TVrEntryData entry;
    while (batch.size() < kBatchEntries && bytes < kBatchBytes) {
      if (!(more = next(entry))) break;
      batch.push_back(entry);
      if (IsChecked(entry)) bytes += std::max<int64_t>(0, entry.size);
    }
    crcs.assign(batch.size(), 0);
    if (second != nullptr) {
      SumOnTwoThreads(data, *second, batch, crcs);
    } else {
      SumWithReadAhead(*reader, batch, crcs);
      reader->Stop();  // the directory may be read through the same stream
    }
    for (size_t i = 0; i < batch.size(); ++i, ++index) {
      // A cancelled check is not a failed one: the caller knows it cancelled.
      if (index % 10 == 9 && progress && progress(index, bytes_before)) return true;
      bytes_before += batch[i].size;
      if (IsChecked(batch[i]) && crcs[i] != batch[i].crc) {
        if (bad_index != nullptr) *bad_index = index;
        return false;
      }
    }
  }
  return true;
}

std::unique_ptr<TBigStream> TVrFileCollection::SecondStreamForCheck() const {
  if (std::thread::hardware_concurrency() < 2) return nullptr;
  try {
    return OpenDataStream();
  } catch (const Exception&) {
    return nullptr;  // (shared for writing elsewhere, say): checked on one thread
  }
}

bool TVrFileCollection::Verify(int* bad_index) {
  if (bad_index != nullptr) *bad_index = -1;
  if (!stream_) return false;
  const std::unique_ptr<TBigStream> second = SecondStreamForCheck();
  int next = 0;
  return VerifyEntryData(
      *stream_, second.get(),
      [&](TVrEntryData& entry) {
        if (next + 1 >= Count()) return false;  // the end marker is no entry
        entry = EntryDataOf((*this)[next++]);
        return true;
      },
      [&](int32_t index, int64_t) {
        TVrFile& entry = (*this)[index];
        return CallProgress(entry, entry.Size, index, Count() - 1);
      },
      bad_index);
}

bool TVrFileCollection::VerifyDirectory(int* bad_index,
                                        const std::function<bool(int32_t, int64_t)>& progress) {
  if (bad_index != nullptr) *bad_index = -1;
  if (!stream_ || !directory_) return false;
  const std::unique_ptr<TBigStream> second = SecondStreamForCheck();
  directory_->Rewind();
  DirectoryEntry read;
  const int64_t start = directory_->Start();
  return VerifyEntryData(
      *stream_, second.get(),
      [&](TVrEntryData& entry) {
        if (!directory_->Next(read)) return false;
        entry = EntryDataOf(read, start);
        return true;
      },
      progress, bad_index);
}

}  // namespace vn
