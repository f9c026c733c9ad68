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
#include "archive/zlib_stream.h"
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

bool IsConsidered(const TVrEntryData& entry, const TVrCheckRules& rules) {
  return !entry.superseded || rules.superseded;
}

bool IsCutOff(const TVrEntryData& entry, int64_t data_size) {
  return entry.offset > data_size || entry.size > data_size - entry.offset;
}

bool IsInflated(const TVrEntryData& entry, const TVrCheckRules& rules) {
  if (entry.stored || entry.size == 0) return false;
  switch (rules.inflate) {
    case TVrCheckRules::kAll:
      return true;
    case TVrCheckRules::kUnchecked:
      // no checksum of the stored bytes to go by, or a separate entry's over its content
      return entry.crc == 0 || entry.separate;
    case TVrCheckRules::kNone:
      break;
  }
  return false;
}

// Whether the entry's bytes are read at all: an entry without anything to check them by is not.
bool IsRead(const TVrEntryData& entry, const TVrCheckRules& rules, int64_t data_size) {
  return IsConsidered(entry, rules) && !IsCutOff(entry, data_size) &&
         (entry.crc != 0 || IsInflated(entry, rules));
}

// What reading one entry's stored bytes in order gave.
struct EntrySums {
  int64_t got = 0;   // the bytes there were: fewer than the entry's size where the stream ended
  uint32_t crc = 0;  // of the stored bytes
  bool inflated = false;
  bool whole = false;  // inflated: the zlib stream ended within the stored bytes, its Adler-32 right
  uint32_t content_crc = 0;
  std::string damage;  // inflated: zlib's reason the data is damaged
};

// Sums one entry's stored bytes as they are read, inflating them when the rules ask (one per
// thread: the inflater is set up once and reused).
class EntrySummer {
 public:
  void Start(bool inflate) {
    sums_ = EntrySums{};
    sums_.inflated = inflate;
    if (inflate) inflater_.Reset();
  }
  void Add(const char* bytes, int64_t n) {
    sums_.got += n;
    sums_.crc = Crc32Update(sums_.crc, bytes, static_cast<size_t>(n));
    if (!sums_.inflated || !sums_.damage.empty()) return;
    try {
      inflater_.Write(bytes, static_cast<size_t>(n), [&](const char* content, size_t length) {
        sums_.content_crc = Crc32Update(sums_.content_crc, content, length);
      });
    } catch (const Exception& e) {
      sums_.damage = e.what();
    }
  }
  EntrySums& Finish() {
    sums_.whole = sums_.inflated && inflater_.Ended();
    return sums_;
  }

 private:
  EntrySums sums_;
  ZlibInflater inflater_;
};

// The one judgement of an entry from what reading it gave.
TVrEntryCheck Judge(const TVrEntryData& entry, const EntrySums& sums, int64_t data_size, bool read) {
  if (IsCutOff(entry, data_size) || (read && sums.got < entry.size)) {
    const int64_t missing =
        IsCutOff(entry, data_size) ? entry.offset - data_size + entry.size : entry.size - sums.got;
    return {TVrEntryCheck::kCutOff,
            "cut off: the archive ends " + std::to_string(missing) + " bytes before the end of this entry"};
  }
  if (sums.inflated && !sums.damage.empty())
    return {TVrEntryCheck::kDamaged, "the compressed data is damaged: " + sums.damage};
  if (sums.inflated && !sums.whole)
    return {TVrEntryCheck::kDamaged, "the compressed data is damaged: compressed data is cut short"};
  if (entry.crc == 0 || sums.crc == entry.crc) return {};
  // a separate entry packed from a file carries the checksum of its content
  if (entry.separate && sums.inflated && sums.content_crc == entry.crc) return {};
  return {TVrEntryCheck::kDamaged, "checksum mismatch"};
}

// A part of a read entry (all of a small one, and all of an inflated one), with what reading it gave.
struct Segment {
  size_t entry;  // into the batch
  int64_t offset;
  int64_t length;
  bool inflate = false;
  uint32_t crc = 0;
  int64_t got = 0;  // the bytes there were: fewer than length where the stream ended
};

// Segments that follow each other in the stream, read with one call into a buffer of kJobSpan
// bytes; or one inflated entry larger than that, read through it piece by piece.
struct ReadJob {
  size_t first;  // into the segments
  size_t end;
  int64_t begin;  // the stream range read
  int64_t stop;
};

// 128 KiB: a piece is summed while it is still in the core's cache from the read that brought it
// (pieces of 1 MiB were summed from memory, and the check took 1.6 times as long as cat's read).
constexpr int64_t kJobSpan = 1 << 17;
// A batch is checked before the next is read: its entries are then judged and reported in order.
// The two threads meet at the end of every batch, where one may wait for the other to be scheduled
// on a busy machine: batches are large, so that they meet a few times per GiB.
constexpr int64_t kBatchBytes = int64_t{256} << 20;
constexpr size_t kBatchEntries = 8192;

// Reads the jobs handed out by `next`; an inflated entry's sums go to `sums` (the one thread that
// reads it writes them), the others' pieces to their segments.
void RunReadJobs(TBigStream& stream, const std::vector<ReadJob>& jobs, std::vector<Segment>& segments,
                 std::vector<EntrySums>& sums, std::atomic<size_t>& next) {
  std::vector<char> buffer(static_cast<size_t>(kJobSpan));
  EntrySummer summer;
  for (size_t k; (k = next.fetch_add(1)) < jobs.size();) {
    const ReadJob& job = jobs[k];
    if (job.stop - job.begin > kJobSpan) {
      const Segment& segment = segments[job.first];
      summer.Start(true);
      for (int64_t at = job.begin; at < job.stop;) {
        const int64_t got = ReadUpTo(stream, at, buffer.data(), std::min(kJobSpan, job.stop - at));
        if (got <= 0) break;
        summer.Add(buffer.data(), got);
        at += got;
      }
      sums[segment.entry] = std::move(summer.Finish());
      continue;
    }
    const int64_t got = ReadUpTo(stream, job.begin, buffer.data(), job.stop - job.begin);
    for (size_t i = job.first; i < job.end; ++i) {
      Segment& segment = segments[i];
      const int64_t at = segment.offset - job.begin;
      segment.got = std::clamp<int64_t>(got - at, 0, segment.length);
      if (segment.inflate) {
        summer.Start(true);
        summer.Add(buffer.data() + at, segment.got);
        sums[segment.entry] = std::move(summer.Finish());
      } else {
        segment.crc = Crc32Update(0, buffer.data() + at, static_cast<size_t>(segment.got));
      }
    }
  }
}

// The sums of a batch's entries, the reading and summing shared by this thread and one more, which
// reads through `second` (a stream of its own over the same data).
void SumOnTwoThreads(TBigStream& data, TBigStream& second, const std::vector<TVrEntryData>& batch,
                     const TVrCheckRules& rules, int64_t data_size, std::vector<EntrySums>& sums) {
  std::vector<Segment> segments;
  std::vector<ReadJob> jobs;
  for (size_t i = 0; i < batch.size(); ++i) {
    const TVrEntryData& entry = batch[i];
    if (!IsRead(entry, rules, data_size)) continue;
    if (IsInflated(entry, rules)) {
      // inflated in order by one thread
      segments.push_back({i, entry.offset, entry.size, true});
      continue;
    }
    for (int64_t at = 0; at < entry.size; at += kJobSpan)
      segments.push_back({i, entry.offset + at, std::min(kJobSpan, entry.size - at)});
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
      RunReadJobs(second, jobs, segments, sums, next);
    } catch (...) {
      error = std::current_exception();
    }
  });
  try {
    RunReadJobs(data, jobs, segments, sums, next);
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
    if (segment.inflate) continue;
    EntrySums& entry = sums[segment.entry];
    entry.crc =
        k > 0 && segments[k - 1].entry == segment.entry
            ? static_cast<uint32_t>(crc32_combine(entry.crc, segment.crc, static_cast<z_off_t>(segment.got)))
            : segment.crc;
    entry.got += segment.got;
  }
}

// The same on this thread, with the read-ahead of `reader`: the entries read that follow each other
// in the stream are read as one range, and inflated as their bytes come.
void SumWithReadAhead(RangeReader& reader, const std::vector<TVrEntryData>& batch, const TVrCheckRules& rules,
                      int64_t data_size, std::vector<EntrySums>& sums) {
  thread_local EntrySummer summer;
  size_t run_end = 0;  // the entries before it belong to the range being read
  for (size_t i = 0; i < batch.size(); ++i) {
    const TVrEntryData& entry = batch[i];
    if (!IsRead(entry, rules, data_size)) continue;
    if (i >= run_end) {
      const int64_t begin = entry.offset;
      int64_t end = begin + entry.size;
      run_end = i + 1;
      for (size_t k = i + 1; k < batch.size(); ++k) {
        const TVrEntryData& next = batch[k];
        if (!IsRead(next, rules, data_size)) continue;
        if (next.offset < end || next.offset - end > kLargestGapReadThrough) break;
        end = next.offset + next.size;
        run_end = k + 1;
      }
      reader.Start(begin, end);
    }
    summer.Start(IsInflated(entry, rules));
    if (reader.Skip(entry.offset - reader.Position())) {
      for (int64_t left = entry.size; left > 0;) {
        const auto [bytes, n] = reader.Take(left);
        if (n <= 0) break;  // the stream ended early: the sums cover what there was
        summer.Add(bytes, n);
        left -= n;
      }
    }
    sums[i] = std::move(summer.Finish());
  }
}

}  // namespace

bool Superseded(const DataString& name) {
  return !name.empty() && name[0] == '/';
}

TVrEntryData EntryDataOf(const TVrFile& entry) {
  return {entry.Offset, entry.Size, entry.CRC, entry.Stored, entry.Separate, Superseded(entry.Name())};
}

TVrEntryData EntryDataOf(const DirectoryEntry& entry, int64_t start) {
  return {entry.offset + start, entry.size, entry.crc, entry.stored, entry.separate, Superseded(entry.name)};
}

TVrEntryCheck TVrFileCollection::CheckEntry(TBigStream& data, const TVrEntryData& entry,
                                            const TVrCheckRules& rules) {
  const int64_t data_size = data.GetSize();
  const bool read = IsRead(entry, rules, data_size);
  thread_local EntrySummer summer;
  summer.Start(IsInflated(entry, rules));
  if (read) {
    // one buffer for all entries (one per thread: extraction checks from several)
    thread_local std::vector<char> buffer(static_cast<size_t>(kJobSpan));
    for (int64_t at = entry.offset, stop = entry.offset + entry.size; at < stop;) {
      const int64_t got = ReadUpTo(data, at, buffer.data(), std::min(kJobSpan, stop - at));
      if (got <= 0) break;
      summer.Add(buffer.data(), got);
      at += got;
    }
  }
  return Judge(entry, summer.Finish(), data_size, read);
}

bool VerifyEntryData(TBigStream& data, TBigStream* second, const TVrCheckRules& rules,
                     const std::function<bool(TVrEntryData&)>& next,
                     const std::function<bool(int32_t, int64_t)>& progress, int* bad_index,
                     TVrEntryCheck* bad) {
  if (bad_index != nullptr) *bad_index = -1;
  const int64_t data_size = data.GetSize();
  std::optional<RangeReader> reader;
  if (second == nullptr) reader.emplace(data);
  std::vector<TVrEntryData> batch;
  std::vector<EntrySums> sums;
  int32_t index = 0;  // of the batch's first entry
  int64_t bytes_before = 0;
  for (bool more = true; more;) {
    // The next batch, read as a whole, then judged in entry order as if read one by one. Entries
    // that reach past the data are judged without reading (whatever size they claim).
    batch.clear();
    int64_t bytes = 0;
    TVrEntryData entry;
    while (batch.size() < kBatchEntries && bytes < kBatchBytes) {
      if (!(more = next(entry))) break;
      batch.push_back(entry);
      if (IsRead(entry, rules, data_size)) bytes += entry.size;
    }
    sums.assign(batch.size(), EntrySums{});
    if (second != nullptr) {
      SumOnTwoThreads(data, *second, batch, rules, data_size, sums);
    } else {
      SumWithReadAhead(*reader, batch, rules, data_size, sums);
      reader->Stop();  // the directory may be read through the same stream
    }
    for (size_t i = 0; i < batch.size(); ++i, ++index) {
      // A cancelled check is not a failed one: the caller knows it cancelled.
      if (index % 10 == 9 && progress && progress(index, bytes_before)) return true;
      bytes_before += batch[i].size;
      if (!IsConsidered(batch[i], rules)) continue;
      TVrEntryCheck check = Judge(batch[i], sums[i], data_size, IsRead(batch[i], rules, data_size));
      if (check.state != TVrEntryCheck::kIntact) {
        if (bad_index != nullptr) *bad_index = index;
        if (bad != nullptr) *bad = std::move(check);
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
      *stream_, second.get(), TVrCheckRules{},
      [&](TVrEntryData& entry) {
        if (next + 1 >= Count()) return false;  // the end marker is no entry
        entry = EntryDataOf((*this)[next++]);
        return true;
      },
      [&](int32_t index, int64_t) {
        TVrFile& entry = (*this)[index];
        return CallProgress(entry, entry.Size, index, Count() - 1);
      },
      bad_index, nullptr);
}

bool TVrFileCollection::VerifyDirectory(const TVrCheckRules& rules, int* bad_index, TVrEntryCheck* bad,
                                        const std::function<bool(int32_t, int64_t)>& progress) {
  if (bad_index != nullptr) *bad_index = -1;
  if (!stream_ || !directory_) return false;
  const std::unique_ptr<TBigStream> second = SecondStreamForCheck();
  directory_->Rewind();
  DirectoryEntry read;
  const int64_t start = directory_->Start();
  return VerifyEntryData(
      *stream_, second.get(), rules,
      [&](TVrEntryData& entry) {
        if (!directory_->Next(read)) return false;
        entry = EntryDataOf(read, start);
        return true;
      },
      progress, bad_index, bad);
}

}  // namespace vn
