#include "core/history/history_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <system_error>

#include "core/app/log.h"

namespace nuve::core {
namespace {

constexpr char kWhere[] = "history";
constexpr std::size_t kMaxTitleBytes = 1000;

// One prepared statement, finalized when it goes out of scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
      LogWarning(kWhere, std::string("cannot prepare a query: ") + sqlite3_errmsg(db));
      stmt_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  void Bind(int i, const std::string& text) { sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT); }
  void Bind(int i, std::int64_t value) { sqlite3_bind_int64(stmt_, i, value); }
  void Bind(int i, double value) { sqlite3_bind_double(stmt_, i, value); }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Letters A-Z as a-z; other bytes (CJK among them) unchanged.
std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// What completion compares typed text with: the address without scheme and
// "www.", and the title, in lower case. Kept in the row, so a query only
// looks for a substring (instr), which is far cheaper than LIKE.
std::string StrippedKey(const std::string& url) { return AsciiLower(StripForCompletion(url)); }
std::string SearchKey(const std::string& url, const std::string& title) {
  return StrippedKey(url) + "\n" + AsciiLower(title);
}

std::string CutTitle(std::string title) {
  if (title.size() <= kMaxTitleBytes) return title;
  std::size_t end = kMaxTitleBytes;
  while (end > 0 && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80) --end;
  title.resize(end);
  return title;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

double HistoryRank(int visits, std::int64_t last_visit) {
  return static_cast<double>(last_visit) / 86400.0 + 10.0 * std::log2(1.0 + std::max(visits, 0));
}

std::string StripForCompletion(const std::string& url) {
  std::string stripped = url;
  const auto scheme = stripped.find("://");
  if (scheme != std::string::npos) stripped.erase(0, scheme + 3);
  if (StartsWith(stripped, "www.")) stripped.erase(0, 4);
  return stripped;
}

bool HistoryStore::IsRecordable(const std::string& url) {
  return StartsWith(url, "http://") || StartsWith(url, "https://") || StartsWith(url, "file://");
}

HistoryStore::HistoryStore(std::filesystem::path file) : file_(std::move(file)) {
  worker_ = std::thread([this] { Run(); });
  Post([this] { Open(); });
}

HistoryStore::~HistoryStore() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void HistoryStore::Post(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void HistoryStore::Run() {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) break;  // stopping, and everything asked for is done
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      task();
    } catch (const std::exception& e) {
      LogError(kWhere, e.what());
    } catch (...) {
      LogError(kWhere, "unknown exception");
    }
  }
  Close();
}

void HistoryStore::Flush() {
  std::promise<void> done;
  Post([&done] { done.set_value(); });
  done.get_future().wait();
}

void HistoryStore::Open() {
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  std::string problem;
  if (TryOpen(problem)) return;
  if (problem == "corrupt") {
    // What cannot be read is kept for whoever wants to rescue it; browsing
    // goes on with a new, empty history.
    MoveAside();
    if (TryOpen(problem)) return;
  }
  LogWarning(kWhere, "the history is off for this run: " + file_.string() + ": " + problem);
}

bool HistoryStore::TryOpen(std::string& problem) {
  Close();
  if (sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    problem = db_ != nullptr ? sqlite3_errmsg(db_) : "cannot open";
    Close();
    return false;
  }
  // Another program (a second NUVE) may hold the database for a moment.
  sqlite3_busy_timeout(db_, 3000);
  char* error = nullptr;
  const int rc = sqlite3_exec(db_,
                              "PRAGMA journal_mode=WAL;"
                              "PRAGMA synchronous=NORMAL;"
                              // Completion walks the rank index and reads rows in its
                              // order: the whole database should stay in memory.
                              "PRAGMA cache_size=-65536;"
                              "PRAGMA mmap_size=268435456;"
                              "CREATE TABLE IF NOT EXISTS history("
                              " id INTEGER PRIMARY KEY,"
                              " url TEXT NOT NULL UNIQUE,"
                              " title TEXT NOT NULL DEFAULT '',"
                              " visits INTEGER NOT NULL DEFAULT 0,"
                              " last_visit INTEGER NOT NULL,"
                              " rank REAL NOT NULL,"
                              " stripped TEXT NOT NULL,"
                              " search TEXT NOT NULL DEFAULT '',"
                              " visit_order INTEGER NOT NULL DEFAULT 0);"
                              "CREATE INDEX IF NOT EXISTS history_rank ON history(rank DESC);"
                              "CREATE INDEX IF NOT EXISTS history_last_visit ON history(last_visit DESC, visit_order DESC);"
                              "CREATE INDEX IF NOT EXISTS history_visit_order ON history(visit_order);",
                              nullptr, nullptr, &error);
  std::string check;
  if (rc == SQLITE_OK) {
    Statement quick(db_, "PRAGMA quick_check");
    if (quick && sqlite3_step(quick.get()) == SQLITE_ROW) check = quick.Text(0);
  }
  if (rc == SQLITE_OK && check == "ok") return true;
  const int code = rc & 0xFF;
  problem = (code == SQLITE_CORRUPT || code == SQLITE_NOTADB || (rc == SQLITE_OK && check != "ok"))
                ? "corrupt"
                : (error != nullptr ? error : sqlite3_errstr(rc));
  if (problem == "corrupt") LogWarning(kWhere, file_.string() + " is damaged: " + (error != nullptr ? error : check));
  sqlite3_free(error);
  Close();
  return false;
}

void HistoryStore::MoveAside() {
  std::error_code ec;
  std::filesystem::path aside = file_;
  aside += ".corrupt";
  std::filesystem::rename(file_, aside, ec);
  if (ec) LogWarning(kWhere, "cannot move " + file_.string() + " aside: " + ec.message());
  else LogWarning(kWhere, "the damaged history was moved to " + aside.string() + "; a new one is started");
  for (const char* suffix : {"-wal", "-shm"}) {
    std::filesystem::path side = file_;
    side += suffix;
    std::filesystem::remove(side, ec);
  }
}

void HistoryStore::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool HistoryStore::Exec(const char* sql) {
  if (db_ == nullptr) return false;
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    LogWarning(kWhere, error != nullptr ? error : "statement failed");
    sqlite3_free(error);
    return false;
  }
  return true;
}

void HistoryStore::RecordVisit(const std::string& url, const std::string& title, std::int64_t when) {
  if (!IsRecordable(url)) return;
  if (when == 0) when = Now();
  Post([this, url, title = CutTitle(title), when] {
    if (db_ == nullptr) return;
    int visits = 0;
    {
      Statement read(db_, "SELECT visits FROM history WHERE url = ?1");
      if (!read) return;
      read.Bind(1, url);
      if (sqlite3_step(read.get()) == SQLITE_ROW) visits = sqlite3_column_int(read.get(), 0);
    }
    // visit_order tells apart visits within the same second.
    Statement write(db_,
                    "INSERT INTO history(url, title, visits, last_visit, rank, stripped, search, visit_order)"
                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, (SELECT IFNULL(MAX(visit_order), 0) + 1 FROM history))"
                    " ON CONFLICT(url) DO UPDATE SET visits = excluded.visits,"
                    " last_visit = excluded.last_visit, rank = excluded.rank, visit_order = excluded.visit_order,"
                    " title = CASE WHEN excluded.title <> '' THEN excluded.title ELSE history.title END,"
                    " search = CASE WHEN excluded.title <> '' THEN excluded.search ELSE history.search END");
    if (!write) return;
    write.Bind(1, url);
    write.Bind(2, title);
    write.Bind(3, std::int64_t{visits + 1});
    write.Bind(4, when);
    write.Bind(5, HistoryRank(visits + 1, when));
    write.Bind(6, StrippedKey(url));
    write.Bind(7, SearchKey(url, title));
    if (sqlite3_step(write.get()) != SQLITE_DONE) LogWarning(kWhere, std::string("a visit was not kept: ") + sqlite3_errmsg(db_));
  });
}

void HistoryStore::SetTitle(const std::string& url, const std::string& title) {
  if (!IsRecordable(url) || title.empty()) return;
  Post([this, url, title = CutTitle(title)] {
    if (db_ == nullptr) return;
    Statement write(db_, "UPDATE history SET title = ?2, search = ?3 WHERE url = ?1");
    if (!write) return;
    write.Bind(1, url);
    write.Bind(2, title);
    write.Bind(3, SearchKey(url, title));
    if (sqlite3_step(write.get()) != SQLITE_DONE) LogWarning(kWhere, std::string("a title was not kept: ") + sqlite3_errmsg(db_));
  });
}

HistoryStore::Entries HistoryStore::Query(const char* sql, const std::vector<std::string>& texts, int limit) {
  Entries entries;
  if (db_ == nullptr || limit <= 0) return entries;
  Statement query(db_, sql);
  if (!query) return entries;
  int i = 1;
  for (const auto& text : texts) query.Bind(i++, text);
  query.Bind(i, std::int64_t{limit});
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(query.get())) == SQLITE_ROW) {
    entries.push_back({query.Text(0), query.Text(1), sqlite3_column_int(query.get(), 2),
                       sqlite3_column_int64(query.get(), 3)});
  }
  if (rc != SQLITE_DONE) LogWarning(kWhere, std::string("a query failed: ") + sqlite3_errmsg(db_));
  return entries;
}

void HistoryStore::Complete(const std::string& typed, int limit, EntriesCallback done, std::stop_token moot) {
  Post([this, typed, limit, moot, done = std::move(done)] {
    Entries entries;
    const std::string text = AsciiLower(StripForCompletion(typed));
    // A newer request (the next key) makes this one moot: skip the work.
    if (!text.empty() && !moot.stop_requested()) entries = Completions(text, limit);
    if (done) done(std::move(entries));
  });
}

HistoryStore::Entries HistoryStore::Completions(const std::string& text, int limit) {
  if (db_ == nullptr || limit <= 0) return {};
  // First the best-ranked pages, in rank order, compared here: a common text
  // finds its rows among them at once, and those are the best of all
  // matches, since every page further down ranks lower.
  constexpr int kWalk = 3000;
  Entries prefix;
  Entries anywhere;
  bool walked_all = true;
  {
    Statement walk(db_, "SELECT url, title, visits, last_visit, stripped, search FROM history ORDER BY rank DESC");
    if (!walk) return {};
    int rows = 0;
    while (static_cast<int>(prefix.size()) < limit && sqlite3_step(walk.get()) == SQLITE_ROW) {
      if (++rows > kWalk) {
        walked_all = false;
        break;
      }
      const bool starts = walk.Text(4).rfind(text, 0) == 0;
      if (!starts && (static_cast<int>(anywhere.size()) >= limit || walk.Text(5).find(text) == std::string::npos)) {
        continue;
      }
      HistoryEntry entry{walk.Text(0), walk.Text(1), sqlite3_column_int(walk.get(), 2),
                         sqlite3_column_int64(walk.get(), 3)};
      (starts ? prefix : anywhere).push_back(std::move(entry));
    }
  }
  // A rarer text: the whole table once, in storage order, keeping the best
  // rows as it goes; far cheaper than following the rank index row by row.
  auto scan = [&](const char* condition, int wanted) {
    const std::string sql = std::string("SELECT url, title, visits, last_visit FROM history NOT INDEXED WHERE ") +
                            condition + " ORDER BY rank DESC LIMIT ?2";
    return Query(sql.c_str(), {text}, wanted);
  };
  if (static_cast<int>(prefix.size()) < limit && !walked_all) {
    prefix = scan("instr(stripped, ?1) = 1", limit);
  }
  const int wanted = limit - static_cast<int>(prefix.size());
  if (wanted > 0 && static_cast<int>(anywhere.size()) < wanted && !walked_all) {
    anywhere = scan("instr(search, ?1) > 0 AND instr(stripped, ?1) <> 1", wanted);
  }
  if (static_cast<int>(anywhere.size()) > wanted) anywhere.resize(static_cast<size_t>(std::max(wanted, 0)));
  prefix.insert(prefix.end(), anywhere.begin(), anywhere.end());
  return prefix;
}

void HistoryStore::Search(const std::string& text, int limit, EntriesCallback done) {
  Post([this, text = AsciiLower(text), limit, done = std::move(done)] {
    Entries entries = Query("SELECT url, title, visits, last_visit FROM history"
                            " WHERE instr(search, ?1) > 0 OR instr(url, ?1) > 0"
                            " ORDER BY last_visit DESC, visit_order DESC LIMIT ?2",
                            {text}, limit);
    if (done) done(std::move(entries));
  });
}

void HistoryStore::MostVisited(std::int64_t since, int limit, EntriesCallback done) {
  Post([this, since, limit, done = std::move(done)] {
    Entries entries = Query("SELECT url, title, visits, last_visit FROM history"
                            " WHERE last_visit >= CAST(?1 AS INTEGER)"
                            " ORDER BY visits DESC, last_visit DESC, visit_order DESC LIMIT ?2",
                            {std::to_string(since)}, limit);
    if (done) done(std::move(entries));
  });
}

void HistoryStore::Delete(const std::string& url, std::function<void()> done) {
  Post([this, url, done = std::move(done)] {
    if (db_ != nullptr) {
      Statement remove(db_, "DELETE FROM history WHERE url = ?1");
      if (remove) {
        remove.Bind(1, url);
        if (sqlite3_step(remove.get()) != SQLITE_DONE) LogWarning(kWhere, sqlite3_errmsg(db_));
      }
    }
    if (done) done();
  });
}

void HistoryStore::Clear(std::function<void()> done) {
  Post([this, done = std::move(done)] {
    // VACUUM gives the pages back, so cleared history leaves no trace in the file.
    if (Exec("DELETE FROM history;")) Exec("VACUUM;");
    if (done) done();
  });
}

}  // namespace nuve::core
