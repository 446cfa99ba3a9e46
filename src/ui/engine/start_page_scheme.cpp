#include "ui/engine/start_page_scheme.h"

#include <libsoup/soup.h>

#include <chrono>
#include <memory>

#include "core/app/address.h"
#include "core/app/log.h"
#include "core/start_page/start_page.h"
#include "ui/app/ui_callback.h"

namespace nuve::ui {
namespace {

constexpr char kWhere[] = "start page";
// Icons larger than this are scaled down before the page gets them.
constexpr int kMaxIconSide = 64;

// The one instance that answers the scheme; the engine knows only a function.
StartPageScheme* g_current = nullptr;

void FinishWithBytes(WebKitURISchemeRequest* request, GBytes* bytes, const char* content_type) {
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  WebKitURISchemeResponse* response =
      webkit_uri_scheme_response_new(stream, static_cast<gint64>(g_bytes_get_size(bytes)));
  webkit_uri_scheme_response_set_content_type(response, content_type);
  // Never kept, and never shown inside another page.
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Cache-Control", "no-store");
  soup_message_headers_append(headers, "X-Frame-Options", "DENY");
  soup_message_headers_append(headers, "Content-Security-Policy", "frame-ancestors 'none'");
  webkit_uri_scheme_response_set_http_headers(response, headers);  // the response takes them
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
  g_object_unref(stream);
}

void FinishWithError(WebKitURISchemeRequest* request, const char* message) {
  GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, message);
  webkit_uri_scheme_request_finish_error(request, error);
  g_error_free(error);
}

// A request answered later: whatever becomes of the answer, the request is
// finished (with an error when nobody answered) and released.
class PendingRequest {
 public:
  explicit PendingRequest(WebKitURISchemeRequest* request)
      : request_(WEBKIT_URI_SCHEME_REQUEST(g_object_ref(request))) {}
  ~PendingRequest() {
    if (!finished_) FinishWithError(request_, "the start page is closed");
    g_object_unref(request_);
  }
  PendingRequest(const PendingRequest&) = delete;
  PendingRequest& operator=(const PendingRequest&) = delete;

  void Finish(GBytes* bytes, const char* content_type) {
    if (finished_) return;
    finished_ = true;
    FinishWithBytes(request_, bytes, content_type);
  }

 private:
  WebKitURISchemeRequest* request_;
  bool finished_ = false;
};

// What a tile shows where a site has no icon: nothing, over its letter.
GBytes* TransparentPng() {
  static GBytes* png = [] {
    GdkPixbuf* pixel = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 1, 1);
    gdk_pixbuf_fill(pixel, 0);
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixel, &buffer, &size, "png", nullptr, nullptr);
    g_object_unref(pixel);
    return g_bytes_new_take(buffer, size);
  }();
  return png;
}

// The icon as PNG, at most kMaxIconSide square; null when it cannot be written.
GBytes* IconPng(GdkTexture* texture) {
  const int width = gdk_texture_get_width(texture);
  const int height = gdk_texture_get_height(texture);
  if (width <= 0 || height <= 0) return nullptr;
  if (width <= kMaxIconSide && height <= kMaxIconSide) return gdk_texture_save_to_png_bytes(texture);
  GdkPixbuf* full = gdk_pixbuf_get_from_texture(texture);
  if (full == nullptr) return nullptr;
  GdkPixbuf* small = gdk_pixbuf_scale_simple(full, kMaxIconSide, kMaxIconSide, GDK_INTERP_BILINEAR);
  g_object_unref(full);
  if (small == nullptr) return nullptr;
  gchar* buffer = nullptr;
  gsize size = 0;
  const bool saved = gdk_pixbuf_save_to_buffer(small, &buffer, &size, "png", nullptr, nullptr) != FALSE;
  g_object_unref(small);
  return saved ? g_bytes_new_take(buffer, size) : nullptr;
}

void OnIconFound(GObject* source, GAsyncResult* result, gpointer data) noexcept {
  std::unique_ptr<PendingRequest> pending(static_cast<PendingRequest*>(data));
  GError* error = nullptr;
  GdkTexture* texture = webkit_favicon_database_get_favicon_finish(WEBKIT_FAVICON_DATABASE(source), result, &error);
  if (error != nullptr) g_error_free(error);  // no icon known: the letter tile
  GBytes* png = texture != nullptr ? IconPng(texture) : nullptr;
  if (texture != nullptr) g_object_unref(texture);
  pending->Finish(png != nullptr ? png : TransparentPng(), "image/png");
  if (png != nullptr) g_bytes_unref(png);
}

// Runs `f(view)` once the current signal is over, if the view still exists
// and `scope` lives.
void LaterOnView(const core::TaskScope& scope, WebKitWebView* view, std::function<void(WebKitWebView*)> f) {
  auto weak = std::shared_ptr<GWeakRef>(new GWeakRef, [](GWeakRef* ref) {
    g_weak_ref_clear(ref);
    delete ref;
  });
  g_weak_ref_init(weak.get(), view);
  Glib::signal_idle().connect_once(scope.Bind([weak, f = std::move(f)] {
    auto* target = static_cast<WebKitWebView*>(g_weak_ref_get(weak.get()));
    if (target == nullptr) return;
    f(target);
    g_object_unref(target);
  }));
}

}  // namespace

StartPageScheme::StartPageScheme(const core::FavouritesStore& favourites, core::HistoryStore& history,
                                 const std::filesystem::path& removed_file, std::string search_query)
    : favourites_(favourites),
      history_(history),
      removed_(removed_file),
      search_query_(std::move(search_query)),
      icons_cancellable_(g_cancellable_new()) {
  static bool registered = false;
  if (!registered) {
    registered = true;
    WebKitWebContext* context = webkit_web_context_get_default();
    webkit_web_context_register_uri_scheme(context, "nuve", &StartPageScheme::OnRequest, nullptr, nullptr);
    // Local: no web page may open, frame or embed it; display-isolated:
    // only nuve:// pages may show nuve:// content.
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_secure(security, "nuve");
    webkit_security_manager_register_uri_scheme_as_local(security, "nuve");
    webkit_security_manager_register_uri_scheme_as_display_isolated(security, "nuve");
  }
  g_current = this;
}

StartPageScheme::~StartPageScheme() {
  if (g_current == this) g_current = nullptr;
  scope_.Cancel();
  g_cancellable_cancel(icons_cancellable_);
  g_object_unref(icons_cancellable_);
}

void StartPageScheme::AttachView(WebKitWebView* view) {
  g_signal_connect(view, "decide-policy", G_CALLBACK(&StartPageScheme::OnDecidePolicy), nullptr);
}

void StartPageScheme::OnRequest(WebKitURISchemeRequest* request, gpointer) noexcept {
  const char* uri = webkit_uri_scheme_request_get_uri(request);
  const core::StartPageRequest parsed = core::ParseStartPageRequest(uri != nullptr ? uri : "");
  const char* method = webkit_uri_scheme_request_get_http_method(request);
  if (g_current == nullptr || (method != nullptr && g_strcmp0(method, "GET") != 0)) {
    FinishWithError(request, "no such nuve page");
    return;
  }
  switch (parsed.kind) {
    case core::StartPageRequest::Kind::kPage:
      g_current->ServePage(request);
      return;
    case core::StartPageRequest::Kind::kIcon:
      g_current->ServeIcon(request, parsed.value);
      return;
    default:
      // Searches and removals are the start page's own navigations, taken
      // before they load; anything that gets here is nothing.
      FinishWithError(request, "no such nuve page");
  }
}

// Whether `view` browses on an ephemeral session (a private window's).
static bool IsPrivateView(WebKitWebView* view) {
  WebKitNetworkSession* session = view != nullptr ? webkit_web_view_get_network_session(view) : nullptr;
  return session != nullptr && webkit_network_session_is_ephemeral(session);
}

void StartPageScheme::ServePage(WebKitURISchemeRequest* request) {
  ++pages_served_;
  auto pending = std::make_shared<PendingRequest>(request);
  const auto asked = std::chrono::steady_clock::now();
  std::vector<core::StartTile> favourites = core::FavouriteTiles(favourites_);
  // A private window's page names no visited site.
  if (IsPrivateView(webkit_uri_scheme_request_get_web_view(request))) {
    const std::string html = core::BuildStartPage(favourites, {}, true);
    GBytes* bytes = g_bytes_new(html.data(), html.size());
    pending->Finish(bytes, "text/html; charset=utf-8");
    g_bytes_unref(bytes);
    *last_answer_time_ = std::chrono::steady_clock::now() - asked;
    return;
  }
  std::vector<std::string> removed = removed_.Load();
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const std::int64_t since = now - core::kStartPageHistoryDays * 24 * 60 * 60;
  const int limit = static_cast<int>(core::kStartPageMostVisited + removed.size());
  // A history that could not be opened answers with no pages: the
  // favourites alone.
  history_.MostVisited(
      since, limit,
      UiCallback(scope_, std::function<void(core::HistoryStore::Entries)>(
                             [pending, asked, answer_time = last_answer_time_, favourites = std::move(favourites),
                              removed = std::move(removed)](core::HistoryStore::Entries entries) {
                               const std::string html =
                                   core::BuildStartPage(favourites, core::MostVisitedTiles(entries, removed));
                               GBytes* bytes = g_bytes_new(html.data(), html.size());
                               pending->Finish(bytes, "text/html; charset=utf-8");
                               g_bytes_unref(bytes);
                               *answer_time = std::chrono::steady_clock::now() - asked;
                             })));
}

void StartPageScheme::ServeIcon(WebKitURISchemeRequest* request, const std::string& page_url) {
  WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
  WebKitNetworkSession* session = view != nullptr ? webkit_web_view_get_network_session(view) : nullptr;
  WebKitFaviconDatabase* database =
      session != nullptr ? webkit_website_data_manager_get_favicon_database(
                               webkit_network_session_get_website_data_manager(session))
                         : nullptr;
  auto pending = std::make_unique<PendingRequest>(request);
  if (database == nullptr) {
    pending->Finish(TransparentPng(), "image/png");
    return;
  }
  webkit_favicon_database_get_favicon(database, page_url.c_str(), icons_cancellable_, &OnIconFound,
                                      pending.release());
}

gboolean StartPageScheme::OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                         WebKitPolicyDecisionType type, gpointer) noexcept {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;
  }
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (uri == nullptr || !core::IsStartPageUri(uri)) return FALSE;
  const core::StartPageRequest parsed = core::ParseStartPageRequest(uri);
  if (parsed.kind == core::StartPageRequest::Kind::kPage) return FALSE;
  // The page's actions never load as pages.
  webkit_policy_decision_ignore(decision);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && g_current != nullptr) {
    g_current->OnPageAction(view, uri);
  }
  return TRUE;
}

bool StartPageScheme::OnPageAction(WebKitWebView* view, const std::string& uri) {
  // Only the start page itself may ask.
  const char* current = webkit_web_view_get_uri(view);
  if (current == nullptr || core::ParseStartPageRequest(current).kind != core::StartPageRequest::Kind::kPage) {
    core::LogWarning(kWhere, "a request not made by the start page was ignored");
    return false;
  }
  const core::StartPageRequest parsed = core::ParseStartPageRequest(uri);
  if (parsed.kind == core::StartPageRequest::Kind::kRemove) {
    // A private window's page has nothing to remove, and writes nothing.
    if (IsPrivateView(view)) return false;
    if (const core::Status s = removed_.Add(parsed.value); !s.ok()) {
      core::LogWarning(kWhere, s.error().detail);
      return false;
    }
    LaterOnView(scope_, view, [](WebKitWebView* target) { webkit_web_view_reload(target); });
    pages_removed_.emit();
    return true;
  }
  if (parsed.kind == core::StartPageRequest::Kind::kGo) {
    const std::string address = core::AddressForTyped(parsed.value, search_query_);
    if (address.empty()) return false;
    LaterOnView(scope_, view, [address](WebKitWebView* target) { webkit_web_view_load_uri(target, address.c_str()); });
    return true;
  }
  return false;
}

}  // namespace nuve::ui
