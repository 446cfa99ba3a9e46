#pragma once
// Puts the compiled content filters into every web view and takes them out
// where blocking is off for the site a view is about to load.
//
// Each view has its own user content manager (related views too), so the
// filters are a per-view state. The engine reads that state when a load
// starts: the filters a view holds when it decides to navigate apply to the
// page, its subresources and its element hiding. So the state is set in
// "decide-policy" for the navigation, before the load goes out. The engine
// does not say there whether a navigation is the main frame's or a frame's
// inside the page; a navigation counts as the main frame's when its address
// is the view's pending one (loads the program starts, reloads, back and
// forward), when the view has shown nothing yet, or when the user clicked a
// link or sent a form. For the rest (a script moving the page elsewhere, a
// redirect to another site) "notify::uri", which the main frame alone sends,
// sets the state as the load starts: in time for the page's subresources.
// A frame's navigation mistaken for the main frame's is put right when its
// response shows it is not.

#include <webkit/webkit.h>

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace nuve::ui {

class FilteredViews {
 public:
  // `wants_filters(host)` says whether pages of `host` ("" for addresses
  // without one) get the filters.
  explicit FilteredViews(std::function<bool(const std::string& host)> wants_filters);
  ~FilteredViews();
  FilteredViews(const FilteredViews&) = delete;
  FilteredViews& operator=(const FilteredViews&) = delete;

  // Follows `view` until it is finalized; it gets the filters now unless
  // blocking is off everywhere.
  void Attach(WebKitWebView* view);

  // The filters every filtered view holds from now on (references taken).
  void SetFilters(const std::vector<WebKitUserContentFilter*>& filters);
  // Decides again for every view by the address it shows (blocking turned
  // on or off everywhere); takes effect at each view's next load.
  void Reapply();

  bool IsFiltered(WebKitWebView* view) const;
  std::size_t view_count() const { return views_.size(); }

 private:
  struct View;
  static gboolean DecidePolicyCb(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer data) noexcept;
  static void UriChangedCb(GObject* object, GParamSpec*, gpointer data) noexcept;
  static void ViewFinalizedCb(gpointer data, GObject* where) noexcept;

  void OnNavigation(View& view, WebKitNavigationAction* action);
  void OnResponse(View& view, WebKitResponsePolicyDecision* decision);
  void SetFiltered(View& view, bool filtered);
  void ApplyFor(View& view, const char* uri);

  std::function<bool(const std::string&)> wants_filters_;
  std::list<std::unique_ptr<View>> views_;
  std::vector<WebKitUserContentFilter*> filters_;
};

}  // namespace nuve::ui
