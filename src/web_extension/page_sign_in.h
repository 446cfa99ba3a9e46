#pragma once
// What the extension does for one page: it numbers the sign-in forms of the
// top frame and tells the program about them, reports a sign-in the user
// sends, and fills a form when the program asks. Frames of other pages
// (iframes) are never looked at, and neither is any form while the top
// page is not the one the program means.

#include <webkit/webkit-web-process-extension.h>

#include <cstdint>

namespace nuve::web_extension {

class PageSignIn {
 public:
  // Connects to `page` for as long as it lives; the page owns the object.
  static void Attach(WebKitWebProcessExtension* extension, WebKitWebPage* page, WebKitScriptWorld* world);

 private:
  PageSignIn(WebKitWebProcessExtension* extension, WebKitWebPage* page, WebKitScriptWorld* world);

  void OnFormsAssociated(WebKitFrame* frame, GPtrArray* elements);
  void OnSubmitEvent(JSCValue* form, WebKitFrame* frame);
  void OnWillSubmit(JSCValue* form, WebKitFrame* frame);
  bool OnMessage(WebKitUserMessage* message);
  void ReportSubmission(JSCValue* form);
  void Send(const char* name, GVariant* parameters);

  WebKitWebProcessExtension* extension_;
  WebKitWebPage* page_;
  WebKitScriptWorld* world_;
  guint64 page_id_;
  // Form numbers are never used twice in a page, across its documents.
  std::uint32_t next_form_ = 1;
  // The form whose submit event was reported; its submission is then not
  // reported again.
  JSCValue* reported_form_ = nullptr;

  friend struct PageSignInCallbacks;
};

}  // namespace nuve::web_extension
