#pragma once
// Content blocking (广告拦截) for every web view: the filter lists in use,
// converted on a worker, compiled by the engine's filter store (which
// compiles on a thread of its own) and kept compiled in the cache folder
// under the digest of their rules, so that a later start only loads them.
// A cached list that the store cannot load (a truncated or foreign file) is
// converted and compiled again. Subscriptions are refreshed every four days
// when the user turned updates on; a failed refresh keeps the last good list.
//
// Views get the filters through AttachView, which EngineProfile calls for
// every view it builds (FilteredViews keeps the per-view state, including
// the sites where blocking is off). Start reading at Start().

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/app/config.h"
#include "core/content_blocking/compiled_filter_index.h"
#include "core/content_blocking/content_blocking_settings.h"
#include "core/content_blocking/filter_list_catalog.h"
#include "core/content_blocking/filter_list_download.h"
#include "core/util/read_url.h"
#include "core/util/task_runner.h"
#include "core/util/task_scope.h"
#include "ui/engine/filtered_views.h"

namespace nuve::ui {

class ContentFilters {
 public:
  struct ListInfo {
    // kWaiting: not downloaded yet or queued; kLoading: from the cache;
    // kPreparing: converting; kCompiling: in the engine's compiler.
    enum class State { kWaiting, kLoading, kPreparing, kCompiling, kActive, kFailed };
    core::FilterListSource source;
    State state = State::kWaiting;
    core::CompiledListRecord record;  // counts, once known
    std::int64_t last_updated = 0;    // Unix seconds; 0 when unknown
    std::string error;                // why it is not in use, or why its last refresh failed
    bool from_cache = false;          // loaded compiled, without converting
  };

  // `network_options` gives the proxy of the command line for downloads.
  ContentFilters(const core::Config& config, core::TaskRunner& tasks,
                 std::function<core::ReadUrlOptions()> network_options);
  ~ContentFilters();
  ContentFilters(const ContentFilters&) = delete;
  ContentFilters& operator=(const ContentFilters&) = delete;

  // Finds the lists (on a worker), loads the cached ones and converts and
  // compiles the others one after the other; refreshes due subscriptions
  // when updates are on, and checks again every half hour.
  void Start();
  // Ready once every list found compiled in the cache is loaded or known to
  // be unusable: a page loaded after it is filtered by every cached list.
  bool ready() const { return ready_; }
  // Until then a page's navigation waits, so that a start with cached lists
  // filters its first page while the page's web process starts meanwhile:
  // takes `decision` to answer once ready and says so, or says no (ready,
  // or waited half a second already: a slow store, say a busy disk,
  // does not keep the user waiting, and the page loads unfiltered).
  bool HoldUntilReady(WebKitPolicyDecision* decision);
  // Nothing is being found, converted, compiled or downloaded.
  bool idle() const;
  // Converting, compiling and downloading wait while held: the program
  // holds them until its first page shows, so that a first start's lists
  // (seconds of work) do not compete with it. The cached lists load anyway.
  void HoldJobs();
  void ReleaseJobs();

  // Gives `view` the filters and follows it (EngineProfile's view hook).
  void AttachView(WebKitWebView* view);

  bool enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Whether blocking applies to the page at `uri` (the shield button).
  bool IsBlockingOn(const std::string& uri) const;
  bool IsSiteExcepted(const std::string& host) const { return excepted_.count(host) != 0; }
  // "在此网站上停用广告拦截": remembered for `host`; takes effect at the
  // next load of that site. Errors come from the settings file.
  core::Status SetSiteExcepted(const std::string& host, bool excepted);
  std::vector<std::string> ExceptedSites() const { return {excepted_.begin(), excepted_.end()}; }

  // nullopt until the user answered the first-start offer.
  std::optional<bool> automatic_updates() const { return settings_.AutomaticUpdates(); }
  void SetAutomaticUpdates(bool enabled);
  // "开启" on the offer: updates on, and the offered lists subscribed.
  void AcceptUpdateOffer();
  void DeclineUpdateOffer() { SetAutomaticUpdates(false); }
  // Adds or removes a subscription; an added one is downloaded at once when
  // updates are on.
  core::Status AddSubscription(const std::string& url);
  core::Status RemoveSubscription(const std::string& subscription_id);
  std::vector<core::FilterSubscription> subscriptions() const { return settings_.Subscriptions(); }

  const std::vector<ListInfo>& lists() const { return lists_; }
  // Something in lists() or the settings changed.
  sigc::signal<void()>& signal_changed() { return changed_; }

  const FilteredViews& views() const { return views_; }
  // Where the engine keeps the compiled lists.
  const std::string& store_folder() const { return store_folder_; }

 private:
  struct Found {
    core::FilterListSource source;
    std::optional<core::CompiledListRecord> record;
    std::int64_t last_updated = 0;
    core::SubscriptionState state;
  };
  struct Job {
    enum class Kind { kPrepare, kRefresh } kind = Kind::kPrepare;
    std::string list_id;
  };
  struct StoreCall;

  void Discover();
  void OnDiscovered(std::vector<Found> found);
  void Load(ListInfo& info);
  void OnLoaded(const std::string& id, const core::CompiledListRecord& record, WebKitUserContentFilter* filter,
                const std::string& error);
  void Compile(const std::string& id, core::PreparedFilterList prepared);
  void OnCompiled(const std::string& id, const core::CompiledListRecord& record, WebKitUserContentFilter* filter,
                  const std::string& error);
  void Enqueue(Job job);
  void RunNextJob();
  void JobDone();
  void QueueDueRefreshes();
  void RemoveStaleCompiledLists();
  void Activate(const std::string& id, WebKitUserContentFilter* filter);
  void Deactivate(const std::string& id);
  void UpdateViews();
  void CheckReady();
  // Answers every held navigation: go ahead.
  void ReleaseHeld();
  ListInfo* Find(const std::string& id);
  bool WantsFilters(const std::string& host) const;

  core::Config config_;
  core::TaskRunner& tasks_;
  std::function<core::ReadUrlOptions()> network_options_;
  core::ContentBlockingSettings settings_;
  core::FilterListCatalog catalog_;
  core::CompiledFilterIndex index_;
  std::string store_folder_;
  WebKitUserContentFilterStore* store_ = nullptr;
  GCancellable* cancellable_ = nullptr;

  bool enabled_ = true;
  std::set<std::string> excepted_;
  std::vector<ListInfo> lists_;
  // The compiled list in use for each list id, in list order when applied.
  std::map<std::string, WebKitUserContentFilter*> active_;
  std::deque<Job> jobs_;
  bool job_running_ = false;
  bool discovering_ = false;
  bool discover_again_ = false;
  int pending_loads_ = 0;
  bool ready_ = false;
  bool cleaned_ = false;
  // Navigations held until ready, answered then (or after the wait).
  std::vector<WebKitPolicyDecision*> held_;
  bool stopped_holding_ = false;
  bool jobs_held_ = false;
  sigc::connection hold_limit_;
  sigc::signal<void()> changed_;
  sigc::connection refresh_timer_;
  FilteredViews views_;
  // Results of store calls that come back after this object is gone are
  // dropped (the store outlives nothing of ours but may finish late).
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  core::TaskScope scope_;
};

}  // namespace nuve::ui
