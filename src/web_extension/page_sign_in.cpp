#include "web_extension/page_sign_in.h"

#include <exception>
#include <memory>
#include <string>

#include "core/passwords/form_messages.h"
#include "core/passwords/site_origin.h"
#include "web_extension/sign_in_script.h"

namespace nuve::web_extension {
namespace {

struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using Value = std::unique_ptr<JSCValue, Unref>;
using Context = std::unique_ptr<JSCContext, Unref>;

// Runs a handler called from C; nothing may unwind into WebKit's frames.
template <typename F>
auto Guard(const char* where, F&& f) noexcept -> decltype(f()) {
  try {
    return f();
  } catch (const std::exception& e) {
    g_warning("NUVE sign-in %s: %s", where, e.what());
  } catch (...) {
    g_warning("NUVE sign-in %s: unknown exception", where);
  }
  return decltype(f())();
}

bool IsObject(JSCValue* value) { return value != nullptr && jsc_value_is_object(value); }

Value At(JSCValue* array, unsigned index) { return Value(jsc_value_object_get_property_at_index(array, index)); }

unsigned Length(JSCValue* array) {
  Value length(jsc_value_object_get_property(array, "length"));
  return length != nullptr && jsc_value_is_number(length.get()) ? jsc_value_to_int32(length.get()) : 0;
}

std::string StringProperty(JSCValue* object, const char* name) {
  Value value(jsc_value_object_get_property(object, name));
  if (value == nullptr || !jsc_value_is_string(value.get())) return {};
  char* text = jsc_value_to_string(value.get());
  std::string out = text != nullptr ? text : "";
  g_free(text);
  return out;
}

// The user entered a field of a numbered form (our script world's
// listener, for trusted events only). The page is looked up again by its
// number: the function may outlive it.
struct FocusReport {
  WebKitWebProcessExtension* extension;
  guint64 page_id;
};

}  // namespace

struct PageSignInCallbacks {
  static void FormsAssociatedCb(WebKitWebFormManager*, WebKitFrame* frame, GPtrArray* elements,
                                gpointer self) noexcept {
    Guard("form-controls-associated", [&] { static_cast<PageSignIn*>(self)->OnFormsAssociated(frame, elements); });
  }
  static void WillSendSubmitEventCb(WebKitWebFormManager*, JSCValue* form, WebKitFrame* source, WebKitFrame*,
                                    gpointer self) noexcept {
    Guard("will-send-submit-event", [&] { static_cast<PageSignIn*>(self)->OnSubmitEvent(form, source); });
  }
  static void WillSubmitFormCb(WebKitWebFormManager*, JSCValue* form, WebKitFrame* source, WebKitFrame*,
                               gpointer self) noexcept {
    Guard("will-submit-form", [&] { static_cast<PageSignIn*>(self)->OnWillSubmit(form, source); });
  }
  static gboolean MessageCb(WebKitWebPage*, WebKitUserMessage* message, gpointer self) noexcept {
    return Guard("user-message-received",
                 [&] { return static_cast<gboolean>(static_cast<PageSignIn*>(self)->OnMessage(message)); });
  }
  static void FocusCb(guint form, double x, double y, double width, double height, gpointer data) noexcept {
    Guard("focus", [&] {
      auto* report = static_cast<FocusReport*>(data);
      WebKitWebPage* page = webkit_web_process_extension_get_page(report->extension, report->page_id);
      if (page == nullptr) return;
      auto* self = static_cast<PageSignIn*>(g_object_get_data(G_OBJECT(page), "nuve-sign-in"));
      if (self == nullptr) return;
      self->Send(core::kSignInFieldFocused, core::SignInFieldFocusedParameters({form, x, y, width, height}));
    });
  }
  static void Destroy(gpointer self) noexcept {
    auto* page = static_cast<PageSignIn*>(self);
    g_clear_object(&page->reported_form_);
    delete page;
  }
};

namespace {

// Our script world's helper in `context`, installed on first use in each
// document.
Value Helper(JSCContext* context, WebKitWebProcessExtension* extension, guint64 page_id) {
  Value helper(jsc_context_get_value(context, "nuveSignIn"));
  if (IsObject(helper.get())) return helper;
  Value done(jsc_context_evaluate(context, kSignInScript, -1));
  helper.reset(jsc_context_get_value(context, "nuveSignIn"));
  if (!IsObject(helper.get())) return nullptr;
  auto* report = g_new(FocusReport, 1);
  *report = {extension, page_id};
  Value reporter(jsc_value_new_function(context, "report", G_CALLBACK(PageSignInCallbacks::FocusCb), report, g_free,
                                        G_TYPE_NONE, 5, G_TYPE_UINT, G_TYPE_DOUBLE, G_TYPE_DOUBLE, G_TYPE_DOUBLE,
                                        G_TYPE_DOUBLE));
  Value installed(jsc_value_object_invoke_method(helper.get(), "install", JSC_TYPE_VALUE, reporter.get(), G_TYPE_NONE));
  return helper;
}

}  // namespace

void PageSignIn::Attach(WebKitWebProcessExtension* extension, WebKitWebPage* page, WebKitScriptWorld* world) {
  auto* self = new PageSignIn(extension, page, world);
  g_object_set_data_full(G_OBJECT(page), "nuve-sign-in", self, PageSignInCallbacks::Destroy);
}

PageSignIn::PageSignIn(WebKitWebProcessExtension* extension, WebKitWebPage* page, WebKitScriptWorld* world)
    : extension_(extension), page_(page), world_(world), page_id_(webkit_web_page_get_id(page)) {
  using C = PageSignInCallbacks;
  // The form manager of our own script world: the form and field objects
  // it hands over are that world's, out of the page scripts' reach. It
  // lives as long as the page, and so do these handlers' target.
  WebKitWebFormManager* forms = webkit_web_page_get_form_manager(page, world);
  g_signal_connect(forms, "form-controls-associated", G_CALLBACK(C::FormsAssociatedCb), this);
  g_signal_connect(forms, "will-send-submit-event", G_CALLBACK(C::WillSendSubmitEventCb), this);
  g_signal_connect(forms, "will-submit-form", G_CALLBACK(C::WillSubmitFormCb), this);
  g_signal_connect(page, "user-message-received", G_CALLBACK(C::MessageCb), this);
}

void PageSignIn::Send(const char* name, GVariant* parameters) {
  // Null parameters: the texts did not fit a message; nothing goes.
  if (parameters == nullptr) return;
  webkit_web_page_send_message_to_view(page_, webkit_user_message_new(name, parameters), nullptr, nullptr, nullptr);
}

void PageSignIn::OnFormsAssociated(WebKitFrame* frame, GPtrArray* elements) {
  if (!webkit_frame_is_main_frame(frame) || elements == nullptr || elements->len == 0) return;
  Context context(webkit_frame_get_js_context_for_script_world(frame, world_));
  Value helper = Helper(context.get(), extension_, page_id_);
  if (helper == nullptr) return;
  Value list(jsc_value_new_array_from_garray(context.get(), elements));
  Value given(jsc_value_object_invoke_method(helper.get(), "scan", JSC_TYPE_VALUE, list.get(), G_TYPE_UINT,
                                             next_form_, G_TYPE_NONE));
  if (!IsObject(given.get())) return;
  const unsigned count = Length(given.get());
  for (unsigned i = 0; i < count; ++i) {
    Value number = At(given.get(), i);
    if (number == nullptr || !jsc_value_is_number(number.get())) continue;
    const auto form = static_cast<std::uint32_t>(jsc_value_to_double(number.get()));
    if (form >= next_form_) next_form_ = form + 1;
    Send(core::kSignInFormFound, core::SignInFormFoundParameters(form));
  }
}

void PageSignIn::OnSubmitEvent(JSCValue* form, WebKitFrame* frame) {
  if (!webkit_frame_is_main_frame(frame)) return;
  // The values as the user sent them, before the page's own submit handler
  // can clear or change them.
  g_set_object(&reported_form_, form);
  ReportSubmission(form);
}

void PageSignIn::OnWillSubmit(JSCValue* form, WebKitFrame* frame) {
  if (!webkit_frame_is_main_frame(frame)) return;
  const bool reported = reported_form_ == form;
  g_clear_object(&reported_form_);
  // A script's form.submit() has no submit event; a real submit was
  // reported at its event already.
  if (!reported) ReportSubmission(form);
}

void PageSignIn::ReportSubmission(JSCValue* form) {
  Value helper = Helper(jsc_value_get_context(form), extension_, page_id_);
  if (helper == nullptr) return;
  Value found(jsc_value_object_invoke_method(helper.get(), "forSubmit", JSC_TYPE_VALUE, form, G_TYPE_NONE));
  if (!IsObject(found.get())) return;
  Value username = At(found.get(), 0);
  Value password = At(found.get(), 1);
  if (!IsObject(password.get())) return;
  // Only what the user typed (or what was filled for them) is reported:
  // values a script put there are the page's, not a sign-in.
  if (!webkit_web_form_manager_input_element_is_user_edited(password.get()) &&
      !webkit_web_form_manager_input_element_is_auto_filled(password.get())) {
    return;
  }
  const std::string password_text = StringProperty(password.get(), "value");
  const std::string username_text = IsObject(username.get()) ? StringProperty(username.get(), "value") : "";
  Send(core::kSignInSubmitted, core::SignInSubmittedParameters(username_text, password_text));
}

bool PageSignIn::OnMessage(WebKitUserMessage* message) {
  const char* name = webkit_user_message_get_name(message);
  const std::optional<core::FillSignIn> fill =
      core::ReadFillSignIn(name != nullptr ? name : "", webkit_user_message_get_parameters(message));
  if (!fill) return false;
  // The program named the site it looked passwords up for; by now the top
  // page may be another one.
  const char* uri = webkit_web_page_get_uri(page_);
  if (uri == nullptr || !core::MayFillOn(fill->origin, core::SiteOriginOf(uri))) return true;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  WebKitFrame* frame = webkit_web_page_get_main_frame(page_);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (frame == nullptr) return true;
  Context context(webkit_frame_get_js_context_for_script_world(frame, world_));
  Value helper = Helper(context.get(), extension_, page_id_);
  if (helper == nullptr) return true;
  Value found(jsc_value_object_invoke_method(helper.get(), "forFill", G_TYPE_UINT, fill->form, G_TYPE_NONE));
  if (!IsObject(found.get())) return true;
  Value username = At(found.get(), 0);
  Value password = At(found.get(), 1);
  if (!IsObject(password.get())) return true;
  // What the user typed stays: only empty fields, or ones filled before,
  // are filled.
  auto fillable = [](JSCValue* field) {
    return StringProperty(field, "value").empty() || webkit_web_form_manager_input_element_is_auto_filled(field);
  };
  const bool has_username = IsObject(username.get());
  if (!fillable(password.get()) || (has_username && !fillable(username.get()))) return true;
  if (has_username && !fill->username.empty()) {
    webkit_web_form_manager_input_element_auto_fill(username.get(), fill->username.c_str());
  }
  webkit_web_form_manager_input_element_auto_fill(password.get(), fill->password.c_str());
  return true;
}

}  // namespace nuve::web_extension
