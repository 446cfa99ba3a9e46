#pragma once
// NUVE's own web process extension (src/web_extension), loaded into every
// web process of the engine's default web context: every view uses that
// context, whatever its network session. The folder it is loaded from is,
// in this order, $NUVE_WEB_EXTENSIONS_DIR, "web-extensions" beside the
// program (the build tree), or the one it was installed to. Without one,
// pages work as before and only saved passwords are missing.

#include <webkit/webkit.h>

#include <string>

namespace nuve::ui {

class WebExtensions {
 public:
  // Sets up `context` once per process, before its first web process
  // starts (later calls do nothing): the folder the engine loads the
  // extension from, readable inside the engine's sandbox.
  static void Prepare(WebKitWebContext* context);
  // The folder found ("" when there is none).
  static std::string Folder();
};

}  // namespace nuve::ui
