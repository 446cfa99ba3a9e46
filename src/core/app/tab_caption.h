#pragma once
// Tab captions have a fixed width of 19 display columns (a wide CJK character
// takes two), so tab headers line up: a shorter title is padded with blanks,
// a longer one is cut to 19 columns and gets "...".

#include <string>
#include <string_view>

namespace nuve::core {

inline constexpr int kCaptionColumns = 19;

// Blanks that fill a caption whose text takes `columns_used` columns
// (0..19; values outside are clamped).
std::string PadCaption(int columns_used);

// Display columns of a UTF-8 text; invalid bytes count one column each.
int DisplayColumns(std::string_view text);

// The caption for a page title. A cut never splits a character.
std::string TabCaption(std::string_view title);

// The caption of a tab that has no page yet: "新建选项卡" + nine blanks.
std::string NewTabCaption();

}  // namespace nuve::core
