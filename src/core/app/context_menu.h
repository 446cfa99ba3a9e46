#pragma once
// What a page's context menu offers for an address, and the texts it shows:
// the caption and the words of "用搜索引擎搜索", and the page that shows a
// page's source.

#include <cstddef>
#include <string>
#include <string_view>

namespace nuve::core {

// The characters of a selection that the search item's caption shows, and
// the most that are searched.
inline constexpr std::size_t kSearchCaptionChars = 20;
inline constexpr std::size_t kMaxSearchChars = 1000;

// What the menu may do with the address of a link, an image or a video.
struct AddressUses {
  bool open_in_tab = false;    // "在新标签页中打开链接/图片"
  bool save = false;           // "链接另存为…" and the like
  bool add_favourite = false;  // "将链接添加到收藏夹"
};

// Web and file addresses allow everything. A `javascript:` address allows
// nothing (it would run in whatever page it lands in); a `data:` address
// opens in a tab only when it holds what cannot pass for a site (an image
// other than SVG, plain text, audio or video) and is never a favourite;
// `blob:` addresses can only be saved; anything else (mailto:, other
// programs' schemes, no scheme at all) allows nothing.
AddressUses UsesOfAddress(std::string_view address);

// The words a selection searches for: runs of blanks and line breaks become
// one blank, the ends are trimmed, and at most kMaxSearchChars characters
// are kept (never half a character). Bytes that are not UTF-8 become U+FFFD.
std::string SearchTerms(std::string_view selection);
// "用搜索引擎搜索“…”" with the first kSearchCaptionChars characters of the
// terms, and "…" inside the quotes when there are more.
std::string SearchCaption(std::string_view selection);

// The title of the tab that shows the source of `address`.
std::string SourceTitle(std::string_view address);
// A page showing `source` (a page's bytes as the server sent them) as plain
// text, titled SourceTitle(address). The bytes are read as UTF-8 when they
// are UTF-8, else in `charset` (from the response, may be ""), else as GBK;
// what still cannot be read becomes U+FFFD.
std::string SourcePageHtml(std::string_view address, std::string_view source, std::string_view charset);

}  // namespace nuve::core
