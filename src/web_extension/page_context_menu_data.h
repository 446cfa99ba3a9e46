#pragma once
// What the program's context menu needs from the page and cannot learn
// itself: the selected text of the top frame (cut short in the page, so a
// huge selection never crosses over whole) and, for a video or audio, its
// kind and whether it is paused or muted. Put into the menu's user data as
// a dictionary: "selection" (s), "media-audio", "media-paused", "media-muted" (b).

#include <webkit/webkit-web-process-extension.h>

namespace nuve::web_extension {

// Connects to `page`'s context-menu signal for as long as the page lives.
void AttachContextMenuData(WebKitWebPage* page);

}  // namespace nuve::web_extension
