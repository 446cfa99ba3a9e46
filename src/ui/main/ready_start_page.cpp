#include "ui/main/ready_start_page.h"

#include <chrono>

#include <utility>

namespace nuve::ui {
namespace {

// After a new tab, the next page is made once the tab has had time to show.
constexpr unsigned kMakeDelayMs = 300;
// Visits refresh the ready page at most this often.
constexpr unsigned kRefreshDelayS = 30;
// After the system warned of low memory, no page is made ready for a while.
constexpr std::chrono::minutes kLowMemoryPause{10};

}  // namespace

ReadyStartPage::ReadyStartPage(EngineProfile& profile, int page_timeout_ms, std::string address)
    : profile_(profile), page_timeout_ms_(page_timeout_ms), address_(std::move(address)) {}

ReadyStartPage::~ReadyStartPage() {
  make_timer_.disconnect();
  refresh_timer_.disconnect();
  if (memory_monitor_ != nullptr) {
    g_signal_handler_disconnect(memory_monitor_, low_memory_handler_);
    g_object_unref(memory_monitor_);
  }
}

bool ReadyStartPage::IsReady() const {
  return page_ != nullptr && page_->state() == PageState::kShown && !page_->IsLoading() &&
         page_->Uri() == address_ && !page_->Title().empty();
}

std::unique_ptr<WebPage> ReadyStartPage::Take() {
  if (!IsReady()) return nullptr;
  refresh_timer_.disconnect();
  return std::move(page_);
}

bool ReadyStartPage::Usable() const {
  if (page_ == nullptr) return false;
  const PageState state = page_->state();
  return state == PageState::kEmpty || state == PageState::kLoading || state == PageState::kShown;
}

void ReadyStartPage::Prepare() {
  if (Usable() || make_timer_.connected()) return;
  // A page whose web process ended, or whose load failed, is made again.
  page_.reset();
  if (std::chrono::steady_clock::now() < paused_until_) return;
  make_timer_ = Glib::signal_timeout().connect(sigc::track_obj(
                                                   [this] {
                                                     Make();
                                                     return false;
                                                   },
                                                   *this),
                                               kMakeDelayMs);
}

void ReadyStartPage::Make() {
  if (memory_monitor_ == nullptr) {
    memory_monitor_ = g_memory_monitor_dup_default();
    low_memory_handler_ =
        g_signal_connect(memory_monitor_, "low-memory-warning", G_CALLBACK(&ReadyStartPage::OnLowMemory), this);
  }
  page_ = std::make_unique<WebPage>(profile_, page_timeout_ms_);
  page_->Load(address_);
}

void ReadyStartPage::OnLowMemory(GMemoryMonitor*, GMemoryMonitorWarningLevel, gpointer self) noexcept {
  auto* ready = static_cast<ReadyStartPage*>(self);
  ready->make_timer_.disconnect();
  ready->refresh_timer_.disconnect();
  ready->page_.reset();
  ready->paused_until_ = std::chrono::steady_clock::now() + kLowMemoryPause;
}

void ReadyStartPage::Refresh() {
  refresh_timer_.disconnect();
  if (page_ == nullptr) return;
  if (!Usable()) {
    Prepare();
  } else if (page_->state() == PageState::kEmpty) {
    page_->Load(address_);
  } else {
    page_->Reload();
  }
}

void ReadyStartPage::RefreshLater() {
  if (page_ == nullptr || refresh_timer_.connected()) return;
  refresh_timer_ = Glib::signal_timeout().connect_seconds(sigc::track_obj(
                                                             [this] {
                                                               Refresh();
                                                               return false;
                                                             },
                                                             *this),
                                                         kRefreshDelayS);
}

}  // namespace nuve::ui
