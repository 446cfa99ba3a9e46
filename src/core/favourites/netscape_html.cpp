#include "core/favourites/netscape_html.h"

#include <glib.h>
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include <cstring>
#include <memory>

#include "core/util/html_text.h"
#include "core/util/legacy_text.h"

namespace nuve::core {
namespace {

std::string Trimmed(std::string s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool Is(const xmlChar* name, const char* wanted) {
  return name != nullptr && xmlStrcasecmp(name, reinterpret_cast<const xmlChar*>(wanted)) == 0;
}

// The parser's events, read as a bookmark file: a <DL> opens the folder
// whose <H3> came last (or continues the current one when none did). The
// events are read as they come, never as a tree: libxml2 nests the
// unclosed <DT>s of a long list into each other, deeper than any tree walk
// should go.
class Builder {
 public:
  explicit Builder(BookmarkRead& read) : read_(read) { folders_.push_back(&read_.root); }

  static void Start(void* self, const xmlChar* name, const xmlChar** attributes) {
    static_cast<Builder*>(self)->OnStart(name, attributes);
  }
  static void End(void* self, const xmlChar* name) { static_cast<Builder*>(self)->OnEnd(name); }
  static void Text(void* self, const xmlChar* text, int length) {
    auto* b = static_cast<Builder*>(self);
    if (b->capture_ != Capture::kNone && b->text_.size() < 64 * 1024) {
      b->text_.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
    }
  }

 private:
  enum class Capture { kNone, kFolder, kBookmark };

  void OnStart(const xmlChar* name, const xmlChar** attributes) {
    if (Is(name, "h3")) {
      capture_ = Capture::kFolder;
      text_.clear();
    } else if (Is(name, "a")) {
      capture_ = Capture::kBookmark;
      text_.clear();
      href_.clear();
      for (const xmlChar** a = attributes; a != nullptr && a[0] != nullptr; a += 2) {
        if (Is(a[0], "href") && a[1] != nullptr) href_ = Trimmed(reinterpret_cast<const char*>(a[1]));
      }
    } else if (Is(name, "dl")) {
      const bool opens = has_pending_ && static_cast<int>(folders_.size()) <= kMaxBookmarkDepth;
      if (opens) {
        folders_.back()->children.push_back({pending_, "", true, {}});
        folders_.push_back(&folders_.back()->children.back());
      }
      opened_.push_back(opens);
      has_pending_ = false;
    }
  }

  void OnEnd(const xmlChar* name) {
    if (Is(name, "h3") && capture_ == Capture::kFolder) {
      pending_ = Trimmed(text_);
      has_pending_ = true;
      capture_ = Capture::kNone;
    } else if (Is(name, "a") && capture_ == Capture::kBookmark) {
      if (!href_.empty()) {
        folders_.back()->children.push_back({Trimmed(text_), href_, false, {}});
        ++read_.bookmarks;
      }
      capture_ = Capture::kNone;
    } else if (Is(name, "dl") && !opened_.empty()) {
      if (opened_.back()) folders_.pop_back();
      opened_.pop_back();
    }
  }

  BookmarkRead& read_;
  // The folders open at this point; pointers stay valid because only the
  // innermost folder's children grow.
  std::vector<BookmarkNode*> folders_;
  std::vector<bool> opened_;  // for each open <DL>: whether it opened a folder
  std::string pending_;
  bool has_pending_ = false;
  Capture capture_ = Capture::kNone;
  std::string text_;
  std::string href_;
};


void WriteFolder(std::string& out, const BookmarkNode& folder, int depth) {
  const std::string indent(static_cast<std::size_t>(depth) * 4, ' ');
  for (const BookmarkNode& node : folder.children) {
    out += indent + "    <DT>";
    if (node.folder) {
      out += "<H3>";
      out += HtmlEscape(node.name);
      out += "</H3>\n" + indent + "    <DL><p>\n";
      WriteFolder(out, node, depth + 1);
      out += indent + "    </DL><p>\n";
    } else {
      out += "<A HREF=\"";
      out += HtmlEscape(node.address);
      out += "\">";
      out += HtmlEscape(node.name);
      out += "</A>\n";
    }
  }
}

}  // namespace

BookmarkRead ParseNetscapeHtml(std::string_view bytes) {
  BookmarkRead read;
  if (bytes.size() > kMaxBookmarkFileBytes) {
    read.error = "the file is too large";
    return read;
  }
  // Older Windows exports are GBK; a stray byte that is neither is mended
  // rather than letting it turn the whole file into another encoding.
  const std::string text = DecodeLegacyText(bytes);
  if (text.find('<') == std::string::npos) {
    read.error = "not an HTML bookmark file";
    return read;
  }
  htmlParserCtxtPtr context = htmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size()));
  if (context == nullptr) {
    read.error = "cannot read the file";
    return read;
  }
  Builder builder(read);
  // Only these events: no document tree is built.
  auto* sax = static_cast<htmlSAXHandler*>(xmlMalloc(sizeof(htmlSAXHandler)));
  std::memset(sax, 0, sizeof(htmlSAXHandler));
  sax->startElement = &Builder::Start;
  sax->endElement = &Builder::End;
  sax->characters = &Builder::Text;
  xmlFree(context->sax);
  context->sax = sax;
  context->userData = &builder;
  xmlCtxtResetLastError(context);
  htmlCtxtUseOptions(context, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                  XML_PARSE_HUGE);
  xmlSwitchEncoding(context, XML_CHAR_ENCODING_UTF8);
  htmlParseDocument(context);
  htmlFreeParserCtxt(context);
  read.ok = true;
  return read;
}

std::string WriteNetscapeHtml(const BookmarkNode& root) {
  std::string out =
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
      "<!-- This is an automatically generated file.\n"
      "     It will be read and overwritten.\n"
      "     DO NOT EDIT! -->\n"
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
      "<TITLE>Bookmarks</TITLE>\n"
      "<H1>Bookmarks</H1>\n"
      "<DL><p>\n";
  WriteFolder(out, root, 0);
  out += "</DL><p>\n";
  return out;
}

}  // namespace nuve::core
