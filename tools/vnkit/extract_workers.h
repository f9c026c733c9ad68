// The file writing of vnkit extract, spread over a few threads. Creating a file costs mostly system
// time in the thread that creates it (the file system allocating the inode), so files are created
// from several threads at once. Each folder is written by one worker: it creates that folder's files
// in archive order (a later entry of the same name replaces an earlier one, as one by one), and the
// workers do not wait on each other for one folder's lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "archive/vr_files.h"
#include "platform/folder_handle.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/unfinished_files.h"

namespace vn::cli {

// What became of one entry.
enum class EntryResult : uint8_t { kPending, kExtracted, kKept, kFolder, kFailed };

class ExtractWorkers {
 public:
  // Results for `count` entries, numbered in the order they are to be reported.
  // The files go below `root` (the output folder, opened once).
  ExtractWorkers(const TVrFileCollection& files, const ExtractOptions& options, const FolderHandle& root,
                 size_t count);
  // Waits for the workers (after Close, or at once when leaving on an exception).
  ~ExtractWorkers();
  ExtractWorkers(const ExtractWorkers&) = delete;
  ExtractWorkers& operator=(const ExtractWorkers&) = delete;

  // Hands entry `index` of the archive, result number `slot`, to the worker of `folder`; path is
  // where it goes (joined, its folder made).
  void Extract(size_t slot, int index, std::filesystem::path path, const std::filesystem::path& folder);
  // A result the caller decided itself (a refused name, a folder entry).
  void SetResult(size_t slot, EntryResult result, std::string error = {});
  // Waits until everything handed out so far is done (before changing what may be in their way).
  void WaitForAll();
  // No more entries: the workers end once their queues are empty.
  void Close();

  bool IsDone(size_t slot) const { return results_[slot].load() != EntryResult::kPending; }
  // Waits for the result of `slot`; the error text for kFailed.
  EntryResult Wait(size_t slot);
  const std::string& Error(size_t slot) const { return errors_[slot]; }

  size_t WorkerCount() const { return workers_.size(); }

 private:
  struct Task {
    size_t slot;
    int index;
    std::filesystem::path path;
  };
  struct Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> queue;
    bool closed = false;
    int64_t load = 0;  // weight handed out, for choosing the worker of a new folder
    std::unique_ptr<TBigStream> data;
    std::thread thread;
  };

  // The folder a worker writes in, kept open while its files follow each other.
  struct FolderInUse {
    std::filesystem::path relative;
    std::optional<FolderHandle> handle;
  };

  void Run(Worker& worker, int number);
  const FolderHandle& OpenFolder(FolderInUse& folder, const std::filesystem::path& relative) const;
  EntryResult WriteEntry(TBigStream& data, const Task& task, FolderInUse& folder, UnfinishedFile& unfinished);
  void WriteContent(TBigStream& data, const TVrFile& entry, File file);
  void Finish(size_t slot, EntryResult result, std::string error);
  void WakeWaiter();
  template <typename Ready>
  void WaitUntil(Ready ready);

  const TVrFileCollection& files_;
  const ExtractOptions& options_;
  const FolderHandle& root_;
  std::vector<FileIdentity> archive_files_;
  std::unique_ptr<std::atomic<EntryResult>[]> results_;
  std::vector<std::string> errors_;  // written before the result is published
  std::vector<std::unique_ptr<Worker>> workers_;
  std::unordered_map<std::filesystem::path::string_type, Worker*> folders_;
  size_t handed_out_ = 0;
  std::atomic<size_t> finished_{0};
  std::mutex done_mutex_;
  std::condition_variable done_;
};

}  // namespace vn::cli
