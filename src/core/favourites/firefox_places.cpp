#include "core/favourites/firefox_places.h"

#include <glib.h>
#include <sqlite3.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace nuve::core {
namespace {

struct Row {
  std::int64_t id = 0;
  int type = 0;  // 1 bookmark, 2 folder, 3 separator
  std::string title;
  std::string url;
  std::string guid;
};

std::string RootName(const std::string& guid, const std::string& title) {
  if (guid == "menu________") return "书签菜单";
  if (guid == "toolbar_____") return "书签工具栏";
  if (guid == "unfiled_____") return "其他书签";
  if (guid == "mobile______") return "移动设备书签";
  return title;
}

// A temporary folder that is removed with everything in it.
class Scratch {
 public:
  Scratch() {
    GError* error = nullptr;
    gchar* dir = g_dir_make_tmp("nuve-places-XXXXXX", &error);
    if (dir != nullptr) {
      path_ = dir;
      g_free(dir);
    } else {
      g_error_free(error);
    }
  }
  ~Scratch() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string Text(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

class Tree {
 public:
  explicit Tree(BookmarkRead& read) : read_(read) {}

  void Add(std::int64_t parent, Row row) { children_[parent].push_back(std::move(row)); }

  void Build(std::int64_t root_id) {
    std::set<std::int64_t> seen{root_id};
    for (const Row& root : children_[root_id]) {
      if (root.type != 2 || root.guid == "tags________" || !seen.insert(root.id).second) continue;
      BookmarkNode folder{RootName(root.guid, root.title), "", true, {}};
      Fill(folder, root.id, 1, seen);
      if (!folder.children.empty()) read_.root.children.push_back(std::move(folder));
    }
  }

 private:
  // `seen` stops a damaged file whose folders form a loop.
  void Fill(BookmarkNode& folder, std::int64_t id, int depth, std::set<std::int64_t>& seen) {
    for (const Row& row : children_[id]) {
      if (!seen.insert(row.id).second) continue;
      if (row.type == 1 && !row.url.empty()) {
        folder.children.push_back({row.title, row.url, false, {}});
        ++read_.bookmarks;
      } else if (row.type == 2) {
        if (depth >= kMaxBookmarkDepth) {
          Fill(folder, row.id, depth, seen);  // folded into this folder
          continue;
        }
        BookmarkNode child{row.title, "", true, {}};
        Fill(child, row.id, depth + 1, seen);
        folder.children.push_back(std::move(child));
      }
    }
  }

  BookmarkRead& read_;
  std::map<std::int64_t, std::vector<Row>> children_;
};

}  // namespace

BookmarkRead ReadFirefoxPlaces(const std::filesystem::path& places) {
  BookmarkRead read;
  Scratch scratch;
  if (scratch.path().empty()) {
    read.error = "no temporary folder";
    return read;
  }
  const std::filesystem::path copy = scratch.path() / "places.sqlite";
  std::error_code ec;
  std::filesystem::copy_file(places, copy, ec);
  if (ec) {
    read.error = "cannot copy " + places.string() + ": " + ec.message();
    return read;
  }
  std::filesystem::path wal = places;
  wal += "-wal";
  if (std::filesystem::exists(wal, ec)) {
    std::filesystem::path wal_copy = copy;
    wal_copy += "-wal";
    std::filesystem::copy_file(wal, wal_copy, ec);  // without it the copy is only older
  }
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(copy.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  if (opened != SQLITE_OK) {
    read.error = std::string("cannot open the copy: ") + sqlite3_errstr(opened);
    return read;
  }
  sqlite3_stmt* raw_statement = nullptr;
  const char* sql =
      "SELECT b.id, b.type, b.parent, coalesce(b.title, ''), coalesce(p.url, ''), coalesce(b.guid, '') "
      "FROM moz_bookmarks b LEFT JOIN moz_places p ON p.id = b.fk ORDER BY b.parent, b.position, b.id";
  if (sqlite3_prepare_v2(db.get(), sql, -1, &raw_statement, nullptr) != SQLITE_OK) {
    read.error = std::string("not a Firefox bookmark database: ") + sqlite3_errmsg(db.get());
    return read;
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw_statement, sqlite3_finalize);
  Tree tree(read);
  std::int64_t root_id = -1;
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
    Row row;
    row.id = sqlite3_column_int64(statement.get(), 0);
    row.type = sqlite3_column_int(statement.get(), 1);
    const std::int64_t parent = sqlite3_column_int64(statement.get(), 2);
    row.title = Text(statement.get(), 3);
    row.url = Text(statement.get(), 4);
    row.guid = Text(statement.get(), 5);
    if (row.guid == "root________" || (root_id < 0 && parent == 0 && row.type == 2)) root_id = row.id;
    tree.Add(parent, std::move(row));
  }
  if (step != SQLITE_DONE) {
    read.error = std::string("the database is damaged: ") + sqlite3_errmsg(db.get());
    return read;
  }
  if (root_id < 0) {
    read.error = "the database has no bookmark root";
    return read;
  }
  tree.Build(root_id);
  read.ok = true;
  return read;
}

}  // namespace nuve::core
