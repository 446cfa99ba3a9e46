#include "ui/engine/filtered_views.h"

#include <algorithm>

#include "core/content_blocking/content_blocking_settings.h"
#include "ui/app/guard.h"

namespace nuve::ui {

struct FilteredViews::View {
  FilteredViews* owner = nullptr;
  WebKitWebView* view = nullptr;
  bool filtered = false;
  // A navigation taken for the main frame's, until its response tells.
  std::string tentative_uri;
  gulong decide_handler = 0;
  gulong uri_handler = 0;
};

FilteredViews::FilteredViews(std::function<bool(const std::string&)> wants_filters)
    : wants_filters_(std::move(wants_filters)) {}

FilteredViews::~FilteredViews() {
  for (const auto& v : views_) {
    g_signal_handler_disconnect(v->view, v->decide_handler);
    g_signal_handler_disconnect(v->view, v->uri_handler);
    g_object_weak_unref(G_OBJECT(v->view), ViewFinalizedCb, v.get());
  }
  for (WebKitUserContentFilter* filter : filters_) webkit_user_content_filter_unref(filter);
}

void FilteredViews::Attach(WebKitWebView* view) {
  if (view == nullptr) return;
  auto record = std::make_unique<View>();
  View& v = *record;
  v.owner = this;
  v.view = view;
  v.decide_handler = g_signal_connect(view, "decide-policy", G_CALLBACK(DecidePolicyCb), &v);
  v.uri_handler = g_signal_connect(view, "notify::uri", G_CALLBACK(UriChangedCb), &v);
  g_object_weak_ref(G_OBJECT(view), ViewFinalizedCb, &v);
  views_.push_back(std::move(record));
  ApplyFor(v, webkit_web_view_get_uri(view));
}

void FilteredViews::SetFilters(const std::vector<WebKitUserContentFilter*>& filters) {
  for (WebKitUserContentFilter* filter : filters) webkit_user_content_filter_ref(filter);
  auto contains = [](const std::vector<WebKitUserContentFilter*>& set, WebKitUserContentFilter* f) {
    return std::find(set.begin(), set.end(), f) != set.end();
  };
  for (const auto& v : views_) {
    if (!v->filtered) continue;
    WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(v->view);
    for (WebKitUserContentFilter* old : filters_) {
      if (!contains(filters, old)) webkit_user_content_manager_remove_filter(manager, old);
    }
    for (WebKitUserContentFilter* added : filters) {
      if (!contains(filters_, added)) webkit_user_content_manager_add_filter(manager, added);
    }
  }
  for (WebKitUserContentFilter* filter : filters_) webkit_user_content_filter_unref(filter);
  filters_ = filters;
}

void FilteredViews::Reapply() {
  for (const auto& v : views_) ApplyFor(*v, webkit_web_view_get_uri(v->view));
}

bool FilteredViews::IsFiltered(WebKitWebView* view) const {
  const auto it = std::find_if(views_.begin(), views_.end(), [view](const auto& v) { return v->view == view; });
  return it != views_.end() && (*it)->filtered;
}

void FilteredViews::SetFiltered(View& v, bool filtered) {
  if (v.filtered == filtered) return;
  v.filtered = filtered;
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(v.view);
  for (WebKitUserContentFilter* filter : filters_) {
    if (filtered) {
      webkit_user_content_manager_add_filter(manager, filter);
    } else {
      webkit_user_content_manager_remove_filter(manager, filter);
    }
  }
}

void FilteredViews::ApplyFor(View& v, const char* uri) {
  SetFiltered(v, wants_filters_(core::ContentBlockingSettings::SiteOf(uri != nullptr ? uri : "")));
}

void FilteredViews::OnNavigation(View& v, WebKitNavigationAction* action) {
  const char* target = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (target == nullptr) return;
  const char* current = webkit_web_view_get_uri(v.view);
  const WebKitNavigationType type = webkit_navigation_action_get_navigation_type(action);
  const bool user_sent =
      (type == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED || type == WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED) &&
      webkit_navigation_action_is_user_gesture(action);
  const bool main_frame = current == nullptr || *current == '\0' || g_strcmp0(current, target) == 0 ||
                          type == WEBKIT_NAVIGATION_TYPE_BACK_FORWARD || type == WEBKIT_NAVIGATION_TYPE_RELOAD ||
                          user_sent;
  if (!main_frame) return;
  const bool was = v.filtered;
  ApplyFor(v, target);
  v.tentative_uri = v.filtered != was ? target : "";
}

void FilteredViews::OnResponse(View& v, WebKitResponsePolicyDecision* decision) {
  if (v.tentative_uri.empty()) return;
  WebKitURIRequest* request = webkit_response_policy_decision_get_request(decision);
  const char* uri = request != nullptr ? webkit_uri_request_get_uri(request) : nullptr;
  if (g_strcmp0(uri, v.tentative_uri.c_str()) != 0) return;
  v.tentative_uri.clear();
  if (!webkit_response_policy_decision_is_main_frame_main_resource(decision)) {
    ApplyFor(v, webkit_web_view_get_uri(v.view));
  }
}

gboolean FilteredViews::DecidePolicyCb(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                       gpointer data) noexcept {
  Guard("content filters decide-policy", [&] {
    auto& v = *static_cast<View*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
      v.owner->OnNavigation(v, webkit_navigation_policy_decision_get_navigation_action(
                                   WEBKIT_NAVIGATION_POLICY_DECISION(decision)));
    } else if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
      v.owner->OnResponse(v, WEBKIT_RESPONSE_POLICY_DECISION(decision));
    }
  });
  // The decision itself is left to the page's own handlers.
  return FALSE;
}

void FilteredViews::UriChangedCb(GObject* object, GParamSpec*, gpointer data) noexcept {
  Guard("content filters notify::uri", [&] {
    auto& v = *static_cast<View*>(data);
    v.owner->ApplyFor(v, webkit_web_view_get_uri(WEBKIT_WEB_VIEW(object)));
  });
}

void FilteredViews::ViewFinalizedCb(gpointer data, GObject*) noexcept {
  Guard("content filters view finalized", [&] {
    auto* v = static_cast<View*>(data);
    auto& views = v->owner->views_;
    views.remove_if([v](const auto& record) { return record.get() == v; });
  });
}

}  // namespace nuve::ui
