#include "ui/engine/content_filters.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <utility>

#include "core/app/log.h"
#include "core/app/startup_trace.h"
#include "ui/app/guard.h"

namespace nuve::ui {
namespace {

constexpr unsigned kRefreshCheckSeconds = 30 * 60;
// How long a navigation waits for the cached filters at most.
constexpr unsigned kNavigationWaitMs = 500;

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::int64_t FileTime(const std::filesystem::path& file) {
  struct stat info {};
  return ::stat(file.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_mtime) : 0;
}

}  // namespace

// What a call into the filter store needs when its answer comes back.
struct ContentFilters::StoreCall {
  std::weak_ptr<bool> alive;
  ContentFilters* self = nullptr;
  std::string id;
  core::CompiledListRecord record;
};

ContentFilters::ContentFilters(const core::Config& config, core::TaskRunner& tasks,
                               std::function<core::ReadUrlOptions()> network_options)
    : config_(config),
      tasks_(tasks),
      network_options_(std::move(network_options)),
      settings_(config),
      catalog_(config.data_dir, config.packaged_filter_lists),
      index_(config.cache_dir / "content-filters"),
      store_folder_((config.cache_dir / "content-filters").string()),
      views_([this](const std::string& host) { return WantsFilters(host); }) {
  enabled_ = settings_.Enabled();
  for (std::string& site : settings_.ExceptedSites()) excepted_.insert(std::move(site));
  store_ = webkit_user_content_filter_store_new(store_folder_.c_str());
  cancellable_ = g_cancellable_new();
}

ContentFilters::~ContentFilters() {
  // A page still waiting goes with its view; its decision is only let go.
  hold_limit_.disconnect();
  for (WebKitPolicyDecision* decision : held_) g_object_unref(decision);
  *alive_ = false;
  scope_.Cancel();
  refresh_timer_.disconnect();
  g_cancellable_cancel(cancellable_);
  g_object_unref(cancellable_);
  for (auto& [id, filter] : active_) webkit_user_content_filter_unref(filter);
  g_object_unref(store_);
}

void ContentFilters::Start() {
  Discover();
  refresh_timer_ = Glib::signal_timeout().connect_seconds(
      [this] {
        Guard("content filters refresh", [this] { QueueDueRefreshes(); });
        return true;
      },
      kRefreshCheckSeconds);
}

bool ContentFilters::HoldUntilReady(WebKitPolicyDecision* decision) {
  if (ready_ || stopped_holding_) return false;
  held_.push_back(WEBKIT_POLICY_DECISION(g_object_ref(decision)));
  if (!hold_limit_.connected()) {
    hold_limit_ = Glib::signal_timeout().connect(
        [this] {
          core::LogWarning("content filters", "the cached filters are not ready; pages load unfiltered");
          ReleaseHeld();
          return false;
        },
        kNavigationWaitMs);
  }
  return true;
}

void ContentFilters::ReleaseHeld() {
  stopped_holding_ = true;
  hold_limit_.disconnect();
  std::vector<WebKitPolicyDecision*> held = std::move(held_);
  held_.clear();
  for (WebKitPolicyDecision* decision : held) {
    webkit_policy_decision_use(decision);
    g_object_unref(decision);
  }
}

bool ContentFilters::idle() const {
  return !discovering_ && !job_running_ && jobs_.empty() && pending_loads_ == 0;
}

void ContentFilters::AttachView(WebKitWebView* view) { views_.Attach(view); }

bool ContentFilters::WantsFilters(const std::string& host) const { return enabled_ && excepted_.count(host) == 0; }

bool ContentFilters::IsBlockingOn(const std::string& uri) const {
  return WantsFilters(core::ContentBlockingSettings::SiteOf(uri));
}

void ContentFilters::SetEnabled(bool enabled) {
  if (core::Status s = settings_.SetEnabled(enabled); !s.ok()) core::LogWarning("content filters", s.error().detail);
  enabled_ = enabled;
  views_.Reapply();
  changed_.emit();
}

core::Status ContentFilters::SetSiteExcepted(const std::string& host, bool excepted) {
  std::string site = host;
  std::transform(site.begin(), site.end(), site.begin(), [](char c) { return g_ascii_tolower(c); });
  core::Status status = settings_.SetSiteExcepted(site, excepted);
  if (!status.ok()) return status;
  if (excepted) {
    excepted_.insert(site);
  } else {
    excepted_.erase(site);
  }
  changed_.emit();
  return status;
}

void ContentFilters::SetAutomaticUpdates(bool enabled) {
  if (core::Status s = settings_.SetAutomaticUpdates(enabled); !s.ok()) {
    core::LogWarning("content filters", s.error().detail);
  }
  // Updates with nothing subscribed would update nothing: the offered lists
  // come with them.
  if (enabled && settings_.Subscriptions().empty()) {
    AcceptUpdateOffer();
    return;
  }
  changed_.emit();
  if (enabled) QueueDueRefreshes();
}

void ContentFilters::AcceptUpdateOffer() {
  for (const core::OfferedFilterList& offered : core::OfferedFilterLists()) {
    if (core::Status s = settings_.AddSubscription(offered.url); !s.ok()) {
      core::LogWarning("content filters", s.error().detail);
    }
  }
  if (core::Status s = settings_.SetAutomaticUpdates(true); !s.ok()) {
    core::LogWarning("content filters", s.error().detail);
  }
  changed_.emit();
  Discover();
}

core::Status ContentFilters::AddSubscription(const std::string& url) {
  core::Status status = settings_.AddSubscription(url);
  if (status.ok()) Discover();
  return status;
}

core::Status ContentFilters::RemoveSubscription(const std::string& subscription_id) {
  core::Status status = settings_.RemoveSubscription(subscription_id);
  if (status.ok()) Discover();
  return status;
}

ContentFilters::ListInfo* ContentFilters::Find(const std::string& id) {
  const auto it = std::find_if(lists_.begin(), lists_.end(), [&](const ListInfo& l) { return l.source.id == id; });
  return it == lists_.end() ? nullptr : &*it;
}

// ---- Finding the lists ------------------------------------------------------

void ContentFilters::Discover() {
  if (discovering_) {
    discover_again_ = true;
    return;
  }
  discovering_ = true;
  const core::FilterListCatalog catalog = catalog_;
  const core::CompiledFilterIndex index = index_;
  const std::vector<core::FilterSubscription> subscriptions = settings_.Subscriptions();
  tasks_.Run<std::vector<Found>>(
      scope_,
      [catalog, index, subscriptions](std::stop_token) {
        std::vector<Found> found;
        for (core::FilterListSource& source : catalog.List(subscriptions)) {
          Found f;
          f.record = index.Find(source.id, core::FilterListStamp(source.file));
          if (source.origin == core::FilterListSource::Origin::kSubscription) {
            f.state = catalog.State(source.subscription_id);
            f.last_updated = f.state.last_updated;
          } else {
            f.last_updated = FileTime(source.file);
          }
          f.source = std::move(source);
          found.push_back(std::move(f));
        }
        return found;
      },
      [this](std::vector<Found> found) { OnDiscovered(std::move(found)); });
}

void ContentFilters::OnDiscovered(std::vector<Found> found) {
  discovering_ = false;
  std::vector<ListInfo> lists;
  std::vector<std::string> to_load;
  std::vector<std::string> to_prepare;
  for (Found& f : found) {
    ListInfo info;
    if (const ListInfo* known = Find(f.source.id); known != nullptr) info = *known;
    info.source = f.source;
    info.last_updated = f.last_updated;
    if (info.source.origin == core::FilterListSource::Origin::kSubscription) info.error = f.state.last_error;
    const bool unchanged = info.state == ListInfo::State::kActive && f.record && info.record.digest == f.record->digest;
    const bool busy = info.state == ListInfo::State::kLoading || info.state == ListInfo::State::kPreparing ||
                      info.state == ListInfo::State::kCompiling;
    if (!unchanged && !busy) {
      if (f.record) {
        info.record = *f.record;
        info.state = ListInfo::State::kLoading;
        to_load.push_back(info.source.id);
      } else if (info.source.origin == core::FilterListSource::Origin::kSubscription &&
                 core::FilterListStamp(info.source.file).empty()) {
        info.state = ListInfo::State::kWaiting;  // until its first download
      } else {
        info.state = ListInfo::State::kPreparing;
        to_prepare.push_back(info.source.id);
      }
    }
    lists.push_back(std::move(info));
  }
  // Lists no longer in use give up their filters.
  for (const ListInfo& old : lists_) {
    const bool kept =
        std::any_of(lists.begin(), lists.end(), [&](const ListInfo& l) { return l.source.id == old.source.id; });
    if (!kept) Deactivate(old.source.id);
  }
  lists_ = std::move(lists);
  for (const std::string& id : to_load) Load(*Find(id));
  for (const std::string& id : to_prepare) Enqueue({Job::Kind::kPrepare, id});
  UpdateViews();
  changed_.emit();
  CheckReady();
  QueueDueRefreshes();
  if (discover_again_) {
    discover_again_ = false;
    Discover();
  }
  if (idle()) RemoveStaleCompiledLists();
}

// ---- The compiled store -----------------------------------------------------

void ContentFilters::Load(ListInfo& info) {
  ++pending_loads_;
  auto* pending = new StoreCall{alive_, this, info.source.id, info.record};
  const std::string identifier = info.record.Identifier();
  webkit_user_content_filter_store_load(
      store_, identifier.c_str(), cancellable_,
      +[](GObject* object, GAsyncResult* result, gpointer data) {
        std::unique_ptr<StoreCall> call(static_cast<StoreCall*>(data));
        GError* error = nullptr;
        WebKitUserContentFilter* filter =
            webkit_user_content_filter_store_load_finish(WEBKIT_USER_CONTENT_FILTER_STORE(object), result, &error);
        const std::string message = error != nullptr ? error->message : "";
        if (error != nullptr) g_error_free(error);
        if (call->alive.expired()) {
          if (filter != nullptr) webkit_user_content_filter_unref(filter);
          return;
        }
        Guard("content filters load", [&] { call->self->OnLoaded(call->id, call->record, filter, message); });
      },
      pending);
}

void ContentFilters::OnLoaded(const std::string& id, const core::CompiledListRecord& record,
                              WebKitUserContentFilter* filter, const std::string& error) {
  --pending_loads_;
  ListInfo* info = Find(id);
  if (info == nullptr || info->record.digest != record.digest) {
    if (filter != nullptr) webkit_user_content_filter_unref(filter);
  } else if (filter != nullptr) {
    info->from_cache = true;
    Activate(id, filter);
  } else {
    // A missing, truncated or foreign compiled file: convert and compile again.
    core::LogWarning("content filters", info->source.name + ": the compiled list cannot be loaded (" + error +
                                            "); compiling it again");
    info->state = ListInfo::State::kPreparing;
    Enqueue({Job::Kind::kPrepare, id});
  }
  changed_.emit();
  CheckReady();
  if (idle()) RemoveStaleCompiledLists();
}

void ContentFilters::Compile(const std::string& id, core::PreparedFilterList prepared) {
  ListInfo* info = Find(id);
  if (info == nullptr) {
    JobDone();
    return;
  }
  info->record = prepared.record;
  if (prepared.json.empty()) {
    info->state = active_.count(id) != 0 ? ListInfo::State::kActive : ListInfo::State::kFailed;
    info->error = prepared.error;
    changed_.emit();
    JobDone();
    return;
  }
  info->state = ListInfo::State::kCompiling;
  changed_.emit();
  auto* pending = new StoreCall{alive_, this, id, prepared.record};
  GBytes* bytes = g_bytes_new(prepared.json.data(), prepared.json.size());
  const std::string identifier = prepared.record.Identifier();
  webkit_user_content_filter_store_save(
      store_, identifier.c_str(), bytes, cancellable_,
      +[](GObject* object, GAsyncResult* result, gpointer data) {
        std::unique_ptr<StoreCall> call(static_cast<StoreCall*>(data));
        GError* error = nullptr;
        WebKitUserContentFilter* filter =
            webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(object), result, &error);
        const std::string message = error != nullptr ? error->message : "";
        if (error != nullptr) g_error_free(error);
        if (call->alive.expired()) {
          if (filter != nullptr) webkit_user_content_filter_unref(filter);
          return;
        }
        Guard("content filters compile", [&] { call->self->OnCompiled(call->id, call->record, filter, message); });
      },
      pending);
  g_bytes_unref(bytes);
}

void ContentFilters::OnCompiled(const std::string& id, const core::CompiledListRecord& record,
                                WebKitUserContentFilter* filter, const std::string& error) {
  ListInfo* info = Find(id);
  if (info == nullptr) {
    if (filter != nullptr) webkit_user_content_filter_unref(filter);
  } else if (filter == nullptr) {
    // The converter is meant never to write a rule the engine refuses; if it
    // did, the list stays out (and the last good one, if any, in).
    core::LogError("content filters", info->source.name + ": the engine refused the converted list: " + error);
    info->error = error;
    info->state = active_.count(id) != 0 ? ListInfo::State::kActive : ListInfo::State::kFailed;
  } else {
    info->record = record;
    info->from_cache = false;
    info->error.clear();
    Activate(id, filter);
    const core::CompiledFilterIndex index = index_;
    tasks_.Run(scope_, [index, id, record](std::stop_token) {
      if (core::Status s = index.Store(id, record); !s.ok()) core::LogWarning("content filters", s.error().detail);
    });
  }
  changed_.emit();
  JobDone();
}

void ContentFilters::Activate(const std::string& id, WebKitUserContentFilter* filter) {
  if (auto it = active_.find(id); it != active_.end()) webkit_user_content_filter_unref(it->second);
  active_[id] = filter;
  if (ListInfo* info = Find(id)) info->state = ListInfo::State::kActive;
  UpdateViews();
}

void ContentFilters::Deactivate(const std::string& id) {
  const auto it = active_.find(id);
  if (it == active_.end()) return;
  webkit_user_content_filter_unref(it->second);
  active_.erase(it);
  UpdateViews();
}

void ContentFilters::UpdateViews() {
  std::vector<WebKitUserContentFilter*> filters;
  for (const ListInfo& info : lists_) {
    if (const auto it = active_.find(info.source.id); it != active_.end()) filters.push_back(it->second);
  }
  views_.SetFilters(filters);
}

void ContentFilters::CheckReady() {
  if (ready_ || discovering_ || pending_loads_ > 0) return;
  ready_ = true;
  core::StartupMark("content filters ready");
  ReleaseHeld();
}

// ---- Conversion and downloads, one at a time --------------------------------

void ContentFilters::Enqueue(Job job) {
  const bool queued = std::any_of(jobs_.begin(), jobs_.end(), [&](const Job& j) {
    return j.kind == job.kind && j.list_id == job.list_id;
  });
  if (!queued) jobs_.push_back(std::move(job));
  RunNextJob();
}

void ContentFilters::HoldJobs() { jobs_held_ = true; }

void ContentFilters::ReleaseJobs() {
  if (!jobs_held_) return;
  jobs_held_ = false;
  RunNextJob();
}

void ContentFilters::RunNextJob() {
  if (jobs_held_) return;
  if (job_running_ || jobs_.empty()) {
    if (idle()) RemoveStaleCompiledLists();
    return;
  }
  const Job job = jobs_.front();
  jobs_.pop_front();
  ListInfo* info = Find(job.list_id);
  if (info == nullptr) {
    RunNextJob();
    return;
  }
  job_running_ = true;
  const core::FilterListSource source = info->source;
  if (job.kind == Job::Kind::kPrepare) {
    tasks_.Run<core::PreparedFilterList>(
        scope_, [source](std::stop_token stop) { return core::PrepareFilterList(source, stop); },
        [this, id = source.id](core::PreparedFilterList prepared) { Compile(id, std::move(prepared)); });
    return;
  }
  // A refresh queued twice (the timer and a new subscription, say) runs once.
  if (!core::IsFilterRefreshDue(catalog_.State(source.subscription_id), Now())) {
    job_running_ = false;
    RunNextJob();
    return;
  }
  core::FilterDownloadOptions options;
  options.proxy = network_options_ ? network_options_().proxy : std::string();
  const core::FilterListCatalog catalog = catalog_;
  const core::FilterSubscription subscription{source.subscription_id, source.url};
  tasks_.Run<core::SubscriptionRefresh>(
      scope_,
      [catalog, subscription, options](std::stop_token stop) mutable {
        options.stop = stop;
        return core::RefreshSubscription(catalog, subscription, options, Now());
      },
      [this, id = source.id](core::SubscriptionRefresh refresh) {
        ListInfo* refreshed = Find(id);
        if (refreshed == nullptr) {
          JobDone();
          return;
        }
        refreshed->error = refresh.state.last_error;
        if (!refresh.changed) {
          changed_.emit();
          JobDone();
          return;
        }
        refreshed->last_updated = refresh.state.last_updated;
        // A first copy of a list Debian also packages replaces Debian's.
        Discover();
        Compile(id, std::move(refresh.prepared));
      });
}

void ContentFilters::JobDone() {
  job_running_ = false;
  RunNextJob();
}

void ContentFilters::QueueDueRefreshes() {
  if (settings_.AutomaticUpdates() != std::optional<bool>(true)) return;
  for (const ListInfo& info : lists_) {
    if (info.source.origin != core::FilterListSource::Origin::kSubscription) continue;
    if (core::IsFilterRefreshDue(catalog_.State(info.source.subscription_id), Now())) {
      Enqueue({Job::Kind::kRefresh, info.source.id});
    }
  }
}

// Compiled lists of earlier versions of the lists take room in the cache
// folder; once everything is settled, the ones no list uses go.
void ContentFilters::RemoveStaleCompiledLists() {
  if (cleaned_ || !ready_ || discovering_) return;
  cleaned_ = true;
  auto* pending = new StoreCall{alive_, this, {}, {}};
  webkit_user_content_filter_store_fetch_identifiers(
      store_, cancellable_,
      +[](GObject* object, GAsyncResult* result, gpointer data) {
        std::unique_ptr<StoreCall> call(static_cast<StoreCall*>(data));
        gchar** identifiers =
            webkit_user_content_filter_store_fetch_identifiers_finish(WEBKIT_USER_CONTENT_FILTER_STORE(object), result);
        if (identifiers == nullptr) return;
        if (!call->alive.expired()) {
          Guard("content filters cleanup", [&] {
            std::set<std::string> used;
            for (const ListInfo& info : call->self->lists_) {
              if (!info.record.digest.empty()) used.insert(info.record.Identifier());
            }
            for (gchar** id = identifiers; *id != nullptr; ++id) {
              const std::string name = *id;
              if (name.rfind("nuve-", 0) != 0 || used.count(name) != 0) continue;
              webkit_user_content_filter_store_remove(WEBKIT_USER_CONTENT_FILTER_STORE(object), *id, nullptr,
                                                      nullptr, nullptr);
            }
          });
        }
        g_strfreev(identifiers);
      },
      pending);
}

}  // namespace nuve::ui
