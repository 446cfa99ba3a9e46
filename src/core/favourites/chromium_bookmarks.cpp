#include "core/favourites/chromium_bookmarks.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace nuve::core {
namespace {

std::string RootName(const std::string& key) {
  if (key == "bookmark_bar") return "书签栏";
  if (key == "other") return "其他书签";
  if (key == "synced") return "移动设备书签";
  return key;
}

// The parser's events, turned into nodes. Every object is a frame; only
// frames where a node belongs (a value under "roots", an element of a
// node's "children") build one, everything else (meta_info, sync data) is
// read past.
class Handler : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit Handler(BookmarkRead& read) : read_(read) {}

  bool null() override { return Value({}); }
  bool boolean(bool) override { return Value({}); }
  bool number_integer(number_integer_t) override { return Value({}); }
  bool number_unsigned(number_unsigned_t) override { return Value({}); }
  bool number_float(number_float_t, const string_t&) override { return Value({}); }
  bool binary(binary_t&) override { return Value({}); }
  bool string(string_t& value) override { return Value(value); }

  bool start_object(std::size_t) override {
    Frame frame;
    if (frames_.empty()) {
      frame.kind = Kind::kTop;
    } else {
      Frame& parent = frames_.back();
      if (parent.kind == Kind::kTop && parent.key == "roots") {
        frame.kind = Kind::kRoots;
      } else if (parent.kind == Kind::kRoots) {
        frame.kind = Kind::kNode;
        frame.root_key = parent.key;
      } else if (parent.kind == Kind::kNode && parent.in_children) {
        frame.kind = Kind::kNode;
      }
    }
    if (frame.kind == Kind::kRoots) seen_roots_ = true;
    frames_.push_back(std::move(frame));
    return true;
  }
  bool key(string_t& value) override {
    frames_.back().key = value;
    return true;
  }
  bool end_object() override {
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (frame.kind != Kind::kNode) return true;
    BookmarkNode& node = frame.node;
    if (!frame.root_key.empty()) {
      node.folder = true;
      if (node.name.empty()) node.name = RootName(frame.root_key);
      if (node.children.empty()) return true;  // an empty root (no phone synced) is no folder of the user's
    }
    if (!node.folder && node.address.empty()) return true;  // a separator or an unknown kind
    Frame* parent = frames_.empty() ? nullptr : &frames_.back();
    std::vector<BookmarkNode>& into =
        parent != nullptr && parent->kind == Kind::kNode ? parent->node.children : read_.root.children;
    // A bookmark holds no others: what a damaged file put inside one
    // follows it in its folder instead.
    std::vector<BookmarkNode> held;
    if (!node.folder) held.swap(node.children);
    into.push_back(std::move(node));
    for (BookmarkNode& child : held) into.push_back(std::move(child));
    return true;
  }
  bool start_array(std::size_t) override {
    if (!frames_.empty()) {
      Frame& f = frames_.back();
      if (f.kind == Kind::kNode && f.key == "children") f.in_children = true;
      ++f.arrays;
    }
    return true;
  }
  bool end_array() override {
    if (!frames_.empty()) {
      Frame& f = frames_.back();
      if (--f.arrays == 0) f.in_children = false;
    }
    return true;
  }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
    read_.error = "not JSON at byte " + std::to_string(position) + ": " + e.what();
    return false;
  }

  bool seen_roots() const { return seen_roots_; }

 private:
  enum class Kind { kOther, kTop, kRoots, kNode };
  struct Frame {
    Kind kind = Kind::kOther;
    std::string key;
    std::string root_key;
    BookmarkNode node;
    bool in_children = false;
    int arrays = 0;
  };

  bool Value(const std::string& value) {
    if (frames_.empty()) return true;
    Frame& f = frames_.back();
    if (f.kind != Kind::kNode || f.arrays > 0) return true;
    if (f.key == "type") {
      f.node.folder = value == "folder";
    } else if (f.key == "name") {
      f.node.name = value;
    } else if (f.key == "url") {
      f.node.address = value;
    }
    return true;
  }

  BookmarkRead& read_;
  std::vector<Frame> frames_;
  bool seen_roots_ = false;
};

// Folds folders below kMaxBookmarkDepth into their ancestor at that depth.
void Flatten(BookmarkNode& folder, int depth) {
  if (depth < kMaxBookmarkDepth) {
    for (BookmarkNode& child : folder.children) {
      if (child.folder) Flatten(child, depth + 1);
    }
    return;
  }
  std::vector<BookmarkNode> flat;
  std::vector<BookmarkNode> pending = std::move(folder.children);
  while (!pending.empty()) {
    BookmarkNode node = std::move(pending.back());
    pending.pop_back();
    if (node.folder) {
      for (BookmarkNode& child : node.children) pending.push_back(std::move(child));
    } else {
      flat.push_back(std::move(node));
    }
  }
  folder.children = std::move(flat);
}

// The bookmarks the finished tree holds: a node that turned out to be no
// folder (nor a bookmark) took the bookmarks inside it away with it.
std::size_t CountBookmarks(const BookmarkNode& folder) {
  std::size_t count = 0;
  for (const BookmarkNode& child : folder.children) count += child.folder ? CountBookmarks(child) : 1;
  return count;
}

}  // namespace

BookmarkRead ParseChromiumBookmarks(std::string_view bytes) {
  BookmarkRead read;
  if (bytes.size() > kMaxBookmarkFileBytes) {
    read.error = "the file is too large";
    return read;
  }
  Handler handler(read);
  const bool parsed = nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &handler);
  if (!parsed) {
    if (read.error.empty()) read.error = "not JSON";
    read.root.children.clear();
    read.bookmarks = 0;
    return read;
  }
  if (!handler.seen_roots()) {
    read.error = "no \"roots\" in the file";
    return read;
  }
  Flatten(read.root, 0);
  read.bookmarks = CountBookmarks(read.root);
  read.ok = true;
  return read;
}

}  // namespace nuve::core
