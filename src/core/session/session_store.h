#pragma once
// Keeps the restore list in a file of its own. Saving hands the list to the
// store's worker thread, which writes only the latest list it has been
// given, each time completely and atomically (a temporary file, flushed to
// disk, then renamed), so a crash at any moment leaves the previous list or
// the new one, never half of either.

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/session/session_list.h"

namespace nuve::core {

class SessionStore {
 public:
  explicit SessionStore(std::filesystem::path file);
  // Writes the list still waiting, then ends the worker.
  ~SessionStore();
  SessionStore(const SessionStore&) = delete;
  SessionStore& operator=(const SessionStore&) = delete;

  // The list of the previous run; empty (and one logged line) when the file
  // is missing, damaged or unreadable.
  SessionList Load() const;
  // Every window's list of the previous run, the first first; empty as Load.
  std::vector<SessionList> LoadWindows() const;
  // Replaces the kept list (written soon, on the worker).
  void Save(SessionList list);
  // Replaces the kept lists with one per window.
  void SaveWindows(std::vector<SessionList> windows);
  // Forgets the kept list (the file goes; a list waiting to be written too).
  void Remove();
  // Blocks until what was asked so far is on disk.
  void Flush();

  const std::filesystem::path& file() const { return file_; }

 private:
  void Run();
  void Write(const std::vector<SessionList>& windows);

  std::filesystem::path file_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::optional<std::vector<SessionList>> pending_;
  bool remove_ = false;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace nuve::core
