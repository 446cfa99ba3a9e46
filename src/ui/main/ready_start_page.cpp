#include "ui/main/ready_start_page.h"

#include <utility>

namespace nuve::ui {
namespace {

// After a new tab, the next page is made once the tab has had time to show.
constexpr unsigned kMakeDelayMs = 300;
// Visits refresh the ready page at most this often.
constexpr unsigned kRefreshDelayS = 30;

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

void ReadyStartPage::Prepare() {
  if (page_ != nullptr || make_timer_.connected()) return;
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
}

void ReadyStartPage::Refresh() {
  refresh_timer_.disconnect();
  // A page still loading reads the start page as it is now anyway; one that
  // failed (its web process ended) is made again.
  if (page_ == nullptr) return;
  if (page_->state() == PageState::kShown || page_->state() == PageState::kLoading) {
    page_->Reload();
  } else {
    page_.reset();
    Prepare();
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
