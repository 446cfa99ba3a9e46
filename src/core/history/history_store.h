#pragma once
// Every visited page (address, title, time of the last visit, number of
// visits) in an SQLite database in write-ahead-log mode. All database work
// runs on the store's own worker thread, in the order it was asked for;
// callers never wait. Results come back through callbacks that run on the
// worker thread: the caller hands them on to its own thread.
//
// A database that cannot be read (corrupt, not a database) is moved aside
// to "<name>.corrupt" and a new one started; one that cannot be opened at
// all (locked by another program for good, a folder that cannot be
// written) leaves the store empty: every failure is one logged line, and
// the browser goes on without history.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "core/history/history_entry.h"

struct sqlite3;

namespace nuve::core {

class HistoryStore {
 public:
  using Entries = std::vector<HistoryEntry>;
  using EntriesCallback = std::function<void(Entries)>;

  // Opens (or creates) `file` on the worker thread.
  explicit HistoryStore(std::filesystem::path file);
  // Finishes the work already asked for, then closes the database.
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Whether `url` is a page the history keeps (http, https and file pages).
  static bool IsRecordable(const std::string& url);

  // One more visit of `url` at `when` (seconds since the epoch; 0 = now). An
  // empty title keeps the one known.
  void RecordVisit(const std::string& url, const std::string& title, std::int64_t when = 0);
  // The page at `url` has a (new) title; a page not in the history is left out.
  void SetTitle(const std::string& url, const std::string& title);

  // Up to `limit` pages for what the user typed into the address box: first
  // those whose address (without scheme and "www.") begins with it, then
  // those whose address or title contains it; each group by rank (visits and
  // recency), case-insensitively for ASCII letters. Empty text gives
  // nothing; so does a request whose `moot` token stopped (the asker's
  // scope was renewed for a newer request) before the worker reached it.
  void Complete(const std::string& typed, int limit, EntriesCallback done, std::stop_token moot = {});
  // Up to `limit` pages whose address or title contains `text` (all pages
  // for ""), the latest visit first, for the history window.
  void Search(const std::string& text, int limit, EntriesCallback done);
  // Up to `limit` pages last visited at or after `since` (seconds since the
  // epoch), the most visited first (the later visit first among equals),
  // for the start page.
  void MostVisited(std::int64_t since, int limit, EntriesCallback done);

  void Delete(const std::string& url, std::function<void()> done = {});
  void Clear(std::function<void()> done = {});

  // Blocks until everything asked for so far is done (tests, benchmarks).
  void Flush();

 private:
  using Task = std::function<void()>;
  void Post(Task task);
  void Run();
  void Open();
  bool TryOpen(std::string& problem);
  void MoveAside();
  void Close();
  bool Exec(const char* sql);
  Entries Query(const char* sql, const std::vector<std::string>& texts, int limit);
  // The completion rows for lower-case `text` (see Complete).
  Entries Completions(const std::string& text, int limit);

  std::filesystem::path file_;
  sqlite3* db_ = nullptr;  // touched by the worker only
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stopping_ = false;
  std::thread worker_;
};

// The rank that orders completions: the day of the last visit, plus a bonus
// that grows with the logarithm of the visits (ten days for each doubling).
double HistoryRank(int visits, std::int64_t last_visit);

// `url` without its scheme and a leading "www.", as completion compares it.
std::string StripForCompletion(const std::string& url);

}  // namespace nuve::core
