// NUVE's web process extension. The engine loads it into every web process
// of the program; it finds sign-in forms in pages for the saved site
// passwords (page_sign_in.h), tells the context menu what is selected
// (page_context_menu_data.h) and talks to the program only through its
// own page (user messages, the menu's data).

#include <webkit/webkit-web-process-extension.h>

#include "web_extension/page_context_menu_data.h"
#include "web_extension/page_sign_in.h"

namespace {

void PageCreatedCb(WebKitWebProcessExtension* extension, WebKitWebPage* page, gpointer world) noexcept {
  nuve::web_extension::PageSignIn::Attach(extension, page, static_cast<WebKitScriptWorld*>(world));
  nuve::web_extension::AttachContextMenuData(page);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_process_extension_initialize(WebKitWebProcessExtension* extension) {
  // One script world for the whole process, apart from the pages' own;
  // the process ends with it.
  WebKitScriptWorld* world = webkit_script_world_new_with_name("nuve-sign-in");
  g_signal_connect(extension, "page-created", G_CALLBACK(PageCreatedCb), world);
}
