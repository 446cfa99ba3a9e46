#include "web_extension/page_context_menu_data.h"

#include <string>

namespace nuve::web_extension {
namespace {

// Blanks are runs of one in the search words, so they are folded here
// before cutting: a selection of many lines still yields its words. The
// program keeps 1,000 characters; a little more crosses so it can trim.
constexpr const char* kSelectionScript =
    "(function(){var s=window.getSelection();if(!s)return '';"
    "return Array.from(s.toString().replace(/\\s+/g,' ').trim().slice(0,1100)).slice(0,1050).join('');})()";

std::string Evaluate(JSCContext* context, const char* script) {
  JSCValue* value = jsc_context_evaluate(context, script, -1);
  std::string result;
  if (value != nullptr && jsc_value_is_string(value)) {
    char* text = jsc_value_to_string(value);
    if (text != nullptr) result = text;
    g_free(text);
  }
  if (value != nullptr) g_object_unref(value);
  // A page's script that throws leaves its exception behind; it is not ours to report.
  jsc_context_clear_exception(context);
  return result;
}

bool BoolProperty(JSCValue* node, const char* name) {
  JSCValue* value = jsc_value_object_get_property(node, name);
  const bool result = value != nullptr && jsc_value_to_boolean(value);
  if (value != nullptr) g_object_unref(value);
  return result;
}

gboolean ContextMenuCb(WebKitWebPage* page, WebKitContextMenu* menu, WebKitWebHitTestResult* hit, gpointer) noexcept {
  GVariantBuilder data;
  g_variant_builder_init(&data, G_VARIANT_TYPE_VARDICT);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  WebKitFrame* frame = webkit_web_page_get_main_frame(page);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (frame != nullptr) {
    JSCContext* context = webkit_frame_get_js_context(frame);
    const std::string selection = Evaluate(context, kSelectionScript);
    g_variant_builder_add(&data, "{sv}", "selection", g_variant_new_string(selection.c_str()));
    g_object_unref(context);
  }
  const guint what = webkit_web_hit_test_result_get_context(hit);
  if ((what & WEBKIT_HIT_TEST_RESULT_CONTEXT_MEDIA) != 0) {
    if (JSCValue* node = webkit_web_hit_test_result_get_js_node(hit, nullptr)) {
      JSCValue* tag = jsc_value_object_get_property(node, "tagName");
      char* name = tag != nullptr ? jsc_value_to_string(tag) : nullptr;
      g_variant_builder_add(&data, "{sv}", "media-audio",
                            g_variant_new_boolean(name != nullptr && g_ascii_strcasecmp(name, "audio") == 0));
      g_free(name);
      if (tag != nullptr) g_object_unref(tag);
      g_variant_builder_add(&data, "{sv}", "media-paused", g_variant_new_boolean(BoolProperty(node, "paused")));
      g_variant_builder_add(&data, "{sv}", "media-muted", g_variant_new_boolean(BoolProperty(node, "muted")));
      g_object_unref(node);
    }
  }
  webkit_context_menu_set_user_data(menu, g_variant_builder_end(&data));
  return FALSE;
}

}  // namespace

void AttachContextMenuData(WebKitWebPage* page) {
  g_signal_connect(page, "context-menu", G_CALLBACK(ContextMenuCb), nullptr);
}

}  // namespace nuve::web_extension
