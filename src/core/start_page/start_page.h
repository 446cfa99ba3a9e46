#pragma once
// The start page "新标签页" that new tabs open: the user's favourites as
// tiles, the pages visited most of late, and a search box. NUVE serves it
// itself at nuve://start; nothing of it comes from the network. The page is
// written here from a template, every piece of the user's data escaped.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/favourites/favourites_store.h"
#include "core/history/history_entry.h"

namespace nuve::core {

inline constexpr char kStartPageAddress[] = "nuve://start";
inline constexpr char kStartPageTitle[] = "新标签页";
// How many favourites and most-visited pages the page shows, and how far
// back the history counts.
inline constexpr std::size_t kStartPageFavourites = 12;
inline constexpr std::size_t kStartPageMostVisited = 8;
inline constexpr std::int64_t kStartPageHistoryDays = 90;

struct StartTile {
  std::string title;
  std::string url;
};

// What a request for one of the start page's addresses asks for.
struct StartPageRequest {
  enum class Kind {
    kPage,    // nuve://start (or nuve://start/)
    kIcon,    // nuve://start/icon?u=<page address>: that page's site icon
    kRemove,  // nuve://start/remove?u=<page address>: leave it out of "最常访问"
    kGo,      // nuve://start/go?q=<typed text>: what the search box was given
    kUnknown,
  };
  Kind kind = Kind::kUnknown;
  std::string value;  // the decoded u or q parameter
};

// Whether `uri` is one of the start page's addresses (any part of it).
bool IsStartPageUri(std::string_view uri);
// Reads a nuve://start address; anything else, or a parameter that is not
// UTF-8 or is longer than 8 KiB, is kUnknown.
StartPageRequest ParseStartPageRequest(std::string_view uri);

// The address of the icon of the page at `page_url`, as the page shows it.
std::string StartPageIconAddress(std::string_view page_url);

// The letter of a tile that has no icon: the first character of the title,
// else of the address's host, ASCII letters in capitals; "?" when neither
// has one.
std::string TileLetter(std::string_view title, std::string_view url);

// The first `limit` favourites of the top of the favourites folder, in the
// order the favourites panel shows them; favourites without an address are
// left out. Reads no more files than it needs.
std::vector<StartTile> FavouriteTiles(const FavouritesStore& store, std::size_t limit = kStartPageFavourites);

// The first `limit` of `entries` (most visited first) that the user did not
// remove from the page; a page without a title is shown by its address.
std::vector<StartTile> MostVisitedTiles(const std::vector<HistoryEntry>& entries,
                                        const std::vector<std::string>& removed,
                                        std::size_t limit = kStartPageMostVisited);

// The whole page, UTF-8 HTML. Each tile links to its address (only http,
// https and file addresses; others are shown without a link) and shows its
// icon over the letter tile; each most-visited tile has a remove control.
// A private window's page says above the tiles what is and is not kept, and
// shows no visited pages.
std::string BuildStartPage(const std::vector<StartTile>& favourites, const std::vector<StartTile>& most_visited,
                           bool for_private_window = false);

// What a private window's start page says of it.
inline constexpr char kPrivateStartPageNote[] =
    "无痕窗口不会保存浏览记录、Cookie、缓存和网站数据，关闭最后一个无痕窗口时它们会被清除。"
    "您添加的收藏和下载的文件会照常保留。";

}  // namespace nuve::core
