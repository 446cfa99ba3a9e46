#include "core/start_page/start_page.h"

#include <glib.h>

#include <algorithm>
#include <unordered_set>

#include "core/util/html_text.h"

namespace nuve::core {
namespace {

constexpr std::size_t kMaxParameterBytes = 8 * 1024;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         g_ascii_strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// The value of the query parameter `name` (form-encoded: "+" is a blank),
// decoded; false when it is missing, too long or not UTF-8.
bool QueryValue(std::string_view query, std::string_view name, std::string& value) {
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(start, end - start);
    if (pair.size() > name.size() && StartsWith(pair, name) && pair[name.size()] == '=') {
      std::string raw(pair.substr(name.size() + 1));
      if (raw.size() > 3 * kMaxParameterBytes) return false;
      std::replace(raw.begin(), raw.end(), '+', ' ');
      gchar* decoded = g_uri_unescape_string(raw.c_str(), nullptr);
      if (decoded == nullptr) return false;  // a stray "%" or an encoded NUL
      value = decoded;
      g_free(decoded);
      return value.size() <= kMaxParameterBytes && g_utf8_validate(value.data(), -1, nullptr);
    }
    start = end + 1;
  }
  return false;
}

std::string Encode(std::string_view text) {
  gchar* encoded = g_uri_escape_string(std::string(text).c_str(), nullptr, FALSE);
  std::string result(encoded);
  g_free(encoded);
  return result;
}

bool IsLinkable(std::string_view url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://") || StartsWithNoCase(url, "file://");
}

std::string_view HostOf(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  const size_t end = url.find_first_of("/?#:");
  std::string_view host = url.substr(0, end);
  const size_t at = host.rfind('@');
  if (at != std::string_view::npos) host.remove_prefix(at + 1);
  if (StartsWithNoCase(host, "www.")) host.remove_prefix(4);
  return host;
}

// A colour for the letter tile that stays the same for a site.
int TileHue(std::string_view url) {
  unsigned hash = 2166136261u;
  for (const char c : HostOf(url)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return static_cast<int>(hash % 360);
}

void AppendTile(std::string& html, const StartTile& tile, bool removable) {
  const std::string title = tile.title.empty() ? tile.url : tile.title;
  const std::string letter = HtmlEscape(TileLetter(tile.title, tile.url));
  const bool link = IsLinkable(tile.url);
  html += "<li class=\"tile\">";
  html += link ? "<a class=\"open\" href=\"" + HtmlEscape(tile.url) + "\" title=\"" + HtmlEscape(tile.url) + "\">"
               : "<span class=\"open\" title=\"" + HtmlEscape(tile.url) + "\">";
  html += "<span class=\"icon\" style=\"background:hsl(" + std::to_string(TileHue(tile.url)) +
          ",45%,45%)\"><span class=\"letter\">" + letter + "</span>";
  if (link) html += "<img alt=\"\" src=\"" + HtmlEscape(StartPageIconAddress(tile.url)) + "\">";
  html += "</span><span class=\"name\">" + HtmlEscape(title) + "</span>";
  html += link ? "</a>" : "</span>";
  if (removable) {
    html += "<a class=\"remove\" title=\"从最常访问中移除\" href=\"nuve://start/remove?u=" +
            HtmlEscape(Encode(tile.url)) + "\">×</a>";
  }
  html += "</li>";
}

constexpr char kHead[] = R"html(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; img-src nuve:; style-src 'unsafe-inline'; form-action nuve:">
<title>新标签页</title>
<style>
body{font-family:sans-serif;margin:0;padding:48px 24px;background:#f4f5f7;color:#222}
main{max-width:860px;margin:0 auto}
form{display:flex;gap:8px;margin:0 auto 40px;max-width:620px}
input[type=search]{flex:1;font-size:16px;padding:10px 14px;border:1px solid #bbb;border-radius:22px}
button{font-size:15px;padding:8px 18px;border-radius:22px;border:1px solid #bbb;background:#fff}
h2{font-size:15px;font-weight:normal;color:#555;margin:28px 0 12px}
ul{list-style:none;display:grid;grid-template-columns:repeat(auto-fill,112px);gap:12px;padding:0;margin:0}
.tile{position:relative;width:112px}
.open{display:flex;flex-direction:column;align-items:center;padding:10px 4px;border-radius:8px;color:inherit;text-decoration:none}
a.open:hover{background:#e4e6ea}
.icon{position:relative;width:48px;height:48px;border-radius:12px;display:flex;align-items:center;justify-content:center;overflow:hidden}
.letter{color:#fff;font-size:22px;font-weight:bold}
.icon img{position:absolute;inset:0;width:48px;height:48px;background:transparent}
.name{margin-top:8px;font-size:13px;max-width:104px;overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
.remove{position:absolute;top:2px;right:6px;color:#888;text-decoration:none;font-size:14px;visibility:hidden}
.tile:hover .remove,.remove:focus{visibility:visible}
.empty{color:#777;font-size:13px}
</style></head>
<body><main>
<form action="nuve://start/go" method="get" role="search">
<input type="search" name="q" autofocus placeholder="搜索或输入网址" aria-label="搜索或输入网址">
<button type="submit">搜索</button>
</form>
)html";

}  // namespace

bool IsStartPageUri(std::string_view uri) {
  if (!StartsWithNoCase(uri, kStartPageAddress)) return false;
  const std::string_view rest = uri.substr(sizeof(kStartPageAddress) - 1);
  return rest.empty() || rest[0] == '/' || rest[0] == '?' || rest[0] == '#';
}

StartPageRequest ParseStartPageRequest(std::string_view uri) {
  StartPageRequest request;
  if (!IsStartPageUri(uri)) return request;
  std::string_view rest = uri.substr(sizeof(kStartPageAddress) - 1);
  const size_t fragment = rest.find('#');
  if (fragment != std::string_view::npos) rest = rest.substr(0, fragment);
  std::string_view query;
  const size_t mark = rest.find('?');
  if (mark != std::string_view::npos) {
    query = rest.substr(mark + 1);
    rest = rest.substr(0, mark);
  }
  if (rest.empty() || rest == "/") {
    request.kind = StartPageRequest::Kind::kPage;
    return request;
  }
  struct Route {
    std::string_view path;
    std::string_view parameter;
    StartPageRequest::Kind kind;
  };
  static constexpr Route kRoutes[] = {{"/icon", "u", StartPageRequest::Kind::kIcon},
                                      {"/remove", "u", StartPageRequest::Kind::kRemove},
                                      {"/go", "q", StartPageRequest::Kind::kGo}};
  for (const Route& route : kRoutes) {
    if (rest != route.path) continue;
    if (QueryValue(query, route.parameter, request.value)) request.kind = route.kind;
    else request.value.clear();
    break;
  }
  return request;
}

std::string StartPageIconAddress(std::string_view page_url) {
  return std::string(kStartPageAddress) + "/icon?u=" + Encode(page_url);
}

std::string TileLetter(std::string_view title, std::string_view url) {
  for (std::string_view text : {title, HostOf(url)}) {
    std::string valid(text);
    if (!g_utf8_validate(valid.data(), static_cast<gssize>(valid.size()), nullptr)) {
      gchar* mended = g_utf8_make_valid(valid.data(), static_cast<gssize>(valid.size()));
      valid = mended;
      g_free(mended);
    }
    for (const char* p = valid.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
      const gunichar c = g_utf8_get_char(p);
      if (!g_unichar_isalnum(c)) continue;  // blanks, marks and symbols make no letter
      gchar out[8] = {};
      g_unichar_to_utf8(c < 0x80 ? g_unichar_toupper(c) : c, out);
      return out;
    }
  }
  return "?";
}

std::vector<StartTile> FavouriteTiles(const FavouritesStore& store, std::size_t limit) {
  std::vector<StartTile> tiles;
  for (const FavouriteEntry& entry : store.ListFolder(store.folder())) {
    if (tiles.size() >= limit) break;
    if (entry.is_folder) continue;
    std::string address = store.ReadAddress(entry);
    if (address.empty()) continue;
    tiles.push_back({entry.title, std::move(address)});
  }
  return tiles;
}

std::vector<StartTile> MostVisitedTiles(const std::vector<HistoryEntry>& entries,
                                        const std::vector<std::string>& removed, std::size_t limit) {
  const std::unordered_set<std::string> hidden(removed.begin(), removed.end());
  std::vector<StartTile> tiles;
  for (const HistoryEntry& entry : entries) {
    if (tiles.size() >= limit) break;
    if (hidden.count(entry.url) > 0) continue;
    tiles.push_back({entry.title, entry.url});
  }
  return tiles;
}

std::string BuildStartPage(const std::vector<StartTile>& favourites, const std::vector<StartTile>& most_visited,
                           bool for_private_window) {
  std::string html = kHead;
  if (for_private_window) {
    html += "<section id=\"private-note\"><h2>无痕浏览</h2><p>";
    html += kPrivateStartPageNote;
    html += "</p></section>\n";
  }
  html += "<section id=\"favourites\"><h2>收藏夹</h2>";
  if (favourites.empty()) {
    html += "<p class=\"empty\">收藏的网页会显示在这里。</p>";
  } else {
    html += "<ul>";
    for (const StartTile& tile : favourites) AppendTile(html, tile, false);
    html += "</ul>";
  }
  html += "</section>\n";
  if (!most_visited.empty() && !for_private_window) {
    html += "<section id=\"most-visited\"><h2>最常访问</h2><ul>";
    for (const StartTile& tile : most_visited) AppendTile(html, tile, true);
    html += "</ul></section>\n";
  }
  html += "</main></body></html>\n";
  return html;
}

}  // namespace nuve::core
