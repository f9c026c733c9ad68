#include "tools/vnkit/extract_workers.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <system_error>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/cli.h"
#include "tools/vnkit/read_ahead_stream.h"

namespace vn::cli {

namespace fs = std::filesystem;

namespace {

// Creating a file weighs about as much as writing this many bytes; a new folder goes to the worker
// that has been given the least weight.
constexpr int64_t kFileWeight = 16384;
// More writers than this gain nothing: the file system's own locks serialise them.
constexpr unsigned kMaxWorkers = 4;
static_assert(kMaxWorkers <= UnfinishedFile::kMaxWriters);
constexpr size_t kMaxQueued = 16384;

// Creates a file through `create`, known to the signal handler from the moment it exists; none when
// create made none (the name is someone else's).
template <typename Create>
std::optional<File> CreateTracked(const fs::path& path, UnfinishedFile& unfinished, Create create) {
  if (!unfinished.Begin(path)) throw Exception("interrupted");
  std::optional<File> file;
  try {
    file = create();
  } catch (...) {
    unfinished.Abandoned();
    throw;
  }
  if (file) {
    unfinished.Created();
  } else {
    unfinished.Abandoned();
  }
  return file;
}

// Runs write on the file `name` of `folder` that this writer created: a failure removes it again.
template <typename Write>
void WriteOrRemove(const FolderHandle& folder, const fs::path& name, UnfinishedFile& unfinished,
                   Write write) {
  try {
    write();
  } catch (...) {
    try {
      folder.RemoveFile(name);
    } catch (const std::exception&) {
      // the failure that stopped the writing is the one to report
    }
    unfinished.Finished();
    throw;
  }
  unfinished.Finished();
}

}  // namespace

ExtractWorkers::ExtractWorkers(const TVrFileCollection& files, const ExtractOptions& options,
                               const FolderHandle& root, size_t count)
    : files_(files),
      options_(options),
      root_(root),
      results_(new std::atomic<EntryResult>[count]),
      errors_(count) {
  for (size_t i = 0; i < count; ++i) results_[i].store(EntryResult::kPending, std::memory_order_relaxed);
  // The archive's own files (part files and side file too), which no entry may replace.
  if (const auto* data = dynamic_cast<const TBigFileStream*>(files.Stream())) {
    for (int i = 0; i < data->PartCount(); ++i) {
      if (const std::optional<FileIdentity> id = IdentityOf(data->PartFileName(i)))
        archive_files_.push_back(*id);
    }
  }
  if (const std::optional<FileIdentity> id = IdentityOf(DirectoryFileOf(files.FileName())))
    archive_files_.push_back(*id);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t wanted =
      std::clamp<size_t>(std::min<size_t>(cores, kMaxWorkers), 1, std::max<size_t>(count, 1));
  for (size_t i = 0; i < wanted; ++i) {
    auto worker = std::make_unique<Worker>();
    // Each worker reads through a stream of its own; without one, a single worker shares the
    // collection's stream (nothing else reads it meanwhile).
    worker->data = files.OpenDataStream();
    if (worker->data == nullptr && i > 0) break;
    workers_.push_back(std::move(worker));
  }
  for (size_t i = 0; i < workers_.size(); ++i) {
    Worker& worker = *workers_[i];
    worker.thread = std::thread([this, &worker, i] { Run(worker, static_cast<int>(i)); });
  }
}

ExtractWorkers::~ExtractWorkers() {
  Close();
  for (auto& worker : workers_) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

void ExtractWorkers::Extract(size_t slot, int index, fs::path path, const fs::path& folder) {
  // The queues hold a bounded number of names, so memory does not grow with the archive.
  if (handed_out_ - finished_.load(std::memory_order_acquire) >= kMaxQueued) {
    WaitUntil([&] { return handed_out_ - finished_.load(std::memory_order_acquire) < kMaxQueued / 2; });
  }
  auto [it, added] = folders_.try_emplace(folder.native(), nullptr);
  if (added) {
    it->second = std::min_element(workers_.begin(), workers_.end(), [](const auto& a, const auto& b) {
                   return a->load < b->load;
                 })->get();
  }
  Worker& worker = *it->second;
  worker.load += kFileWeight + files_[index].Size;
  {
    std::lock_guard<std::mutex> lock(worker.mutex);
    worker.queue.push_back(Task{slot, index, std::move(path)});
  }
  worker.wake.notify_one();
  ++handed_out_;
}

void ExtractWorkers::SetResult(size_t slot, EntryResult result, std::string error) {
  errors_[slot] = std::move(error);
  results_[slot].store(result, std::memory_order_release);
}

void ExtractWorkers::Finish(size_t slot, EntryResult result, std::string error) {
  SetResult(slot, result, std::move(error));
  finished_.fetch_add(1, std::memory_order_release);
}

void ExtractWorkers::WakeWaiter() {
  { std::lock_guard<std::mutex> lock(done_mutex_); }
  done_.notify_all();
}

// The waiter is woken when a worker runs out of work, and otherwise looks a few dozen times a second:
// a wake-up per file would cost more than the file.
template <typename Ready>
void ExtractWorkers::WaitUntil(Ready ready) {
  std::unique_lock<std::mutex> lock(done_mutex_);
  while (!ready()) done_.wait_for(lock, std::chrono::milliseconds(20));
}

void ExtractWorkers::WaitForAll() {
  WaitUntil([&] { return finished_.load(std::memory_order_acquire) == handed_out_; });
}

EntryResult ExtractWorkers::Wait(size_t slot) {
  if (!IsDone(slot)) WaitUntil([&] { return IsDone(slot); });
  return results_[slot].load(std::memory_order_acquire);
}

void ExtractWorkers::Close() {
  for (auto& worker : workers_) {
    {
      std::lock_guard<std::mutex> lock(worker->mutex);
      worker->closed = true;
    }
    worker->wake.notify_one();
  }
}

void ExtractWorkers::Run(Worker& worker, int number) {
  ReadAheadStream data(worker.data ? *worker.data : *files_.Stream());
  UnfinishedFile unfinished(number);
  FolderInUse folder;
  std::deque<Task> batch;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(worker.mutex);
      worker.wake.wait(lock, [&] { return !worker.queue.empty() || worker.closed; });
      if (worker.queue.empty()) return;
      batch.swap(worker.queue);
    }
    for (const Task& task : batch) {
      try {
        Finish(task.slot, WriteEntry(data, task, folder, unfinished), {});
      } catch (const std::exception& e) {
        Finish(task.slot, EntryResult::kFailed, Worded(e));
      } catch (...) {
        Finish(task.slot, EntryResult::kFailed, "unexpected failure");
      }
    }
    batch.clear();
    WakeWaiter();
  }
}

const FolderHandle& ExtractWorkers::OpenFolder(FolderInUse& folder, const fs::path& relative) const {
  // A worker writes the files of a folder one after another: its handle serves them all.
  if (!folder.handle || folder.relative != relative) {
    folder.handle.reset();
    folder.handle = root_.OpenFolder(relative);
    folder.relative = relative;
  }
  return *folder.handle;
}

EntryResult ExtractWorkers::WriteEntry(TBigStream& data, const Task& task, FolderInUse& in_use,
                                       UnfinishedFile& unfinished) {
  const TVrFile& entry = files_[task.index];
  const fs::path& path = task.path;
  // Every folder on the way is walked from the output folder without following a link, so no link
  // there (planted before, or swapped in meanwhile) can take the file somewhere else.
  const fs::path relative = path.lexically_relative(root_.Path());
  const fs::path name = relative.filename();
  const FolderHandle& folder = OpenFolder(in_use, relative.parent_path());
  if (options_.salvage) {
    TVrEntryData checked = EntryDataOf(entry);
    checked.superseded = false;  // named to be extracted, so checked as any other
    const TVrEntryCheck check =
        TVrFileCollection::CheckEntry(data, checked, TVrCheckRules{TVrCheckRules::kUnchecked});
    if (check.state != TVrEntryCheck::kIntact) {
      if (options_.keep && folder.Stat(name)) return EntryResult::kKept;
      throw EReadError(check.reason);
    }
  }
  if (std::optional<File> created =
          CreateTracked(path, unfinished, [&] { return folder.CreateNewFile(name); })) {
    // Nothing had this name: the entry is written in place. A failed write removes the file again,
    // so no partial file stands under the entry's name.
    WriteOrRemove(folder, name, unfinished, [&] { WriteContent(data, entry, std::move(*created)); });
    return EntryResult::kExtracted;
  }
  const std::optional<FolderEntry> there = folder.Stat(name);
  if (there &&
      std::find(archive_files_.begin(), archive_files_.end(), there->identity) != archive_files_.end()) {
    throw EFOpenError(PathToUtf8(path) +
                      ": is the archive being read (or one of its files); it is not replaced");
  }
  if (options_.keep) return EntryResult::kKept;

  // Something has this name: the entry is written beside it and renamed over it, so that a failure
  // leaves what was there as it was.
  if (const std::optional<FolderEntry> there = folder.Stat(name);
      there && there->kind == FolderEntry::Kind::kOther) {
    throw EFOpenError(PathToUtf8(path) +
                      ": not a regular file (a pipe, a socket or a device); it is not replaced");
  }
  const fs::path temp = TemporarySibling(name);
  const fs::path temp_path = path.parent_path() / temp;
  try {
    std::optional<File> file = CreateTracked(temp_path, unfinished, [&] {
      return std::optional<File>(folder.OpenFile(temp, FileAccess::kCreate));
    });
    WriteOrRemove(folder, temp, unfinished, [&] {
      WriteContent(data, entry, std::move(*file));
      try {
        folder.Rename(temp, name);
      } catch (const EWriteError& e) {
        // the system's reason ends the message, which names the temporary
        const std::string what = e.what();
        const size_t reason = what.rfind(": ");
        throw EWriteError(PathToUtf8(path) + ": cannot be replaced" +
                          (reason == std::string::npos ? std::string() : what.substr(reason)));
      }
    });
  } catch (const Exception& e) {
    // the temporary beside it is no name the user knows
    throw EWriteError(NamingUserFile(e.what(), temp_path, PathToUtf8(path)));
  }
  return EntryResult::kExtracted;
}

void ExtractWorkers::WriteContent(TBigStream& data, const TVrFile& entry, File file) {
  TFileStream out(std::move(file));
  // damaged stored bytes are no file of the archive
  if (!WriteEntryChecked(files_, data, entry, out))
    throw EReadError("checksum mismatch: the stored bytes are damaged");
  // the stored time becomes the file's modification time, as unzip does
  if (entry.Time != 0) FileSetDate(out.Handle(), entry.Time);
}

}  // namespace vn::cli
