#pragma once
// The nuve:// addresses of the web engine, which the program answers from
// memory: the start page nuve://start, the site icons it shows (from the
// engine's icon database, a transparent image where there is none) and what
// the page asks for (a search, a page removed from "最常访问").
//
// The scheme is local to the engine: web pages can neither open it nor put
// it in a frame or an image. Searches and removals count only when the view
// shows the start page itself.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "core/favourites/favourites_store.h"
#include "core/history/history_store.h"
#include "core/start_page/removed_pages.h"
#include "core/util/task_scope.h"

namespace nuve::ui {

class StartPageScheme {
 public:
  // Answers the scheme from now on (the engine learns of it once per
  // process, before any web process starts); `search_query` is the search
  // preset's query address.
  StartPageScheme(const core::FavouritesStore& favourites, core::HistoryStore& history,
                  const std::filesystem::path& removed_file, std::string search_query);
  ~StartPageScheme();
  StartPageScheme(const StartPageScheme&) = delete;
  StartPageScheme& operator=(const StartPageScheme&) = delete;

  // Lets the start page in `view` search and remove pages; EngineProfile
  // calls it for every view it builds.
  void AttachView(WebKitWebView* view);

  // The user removed a page from "最常访问".
  sigc::signal<void()>& signal_pages_removed() { return pages_removed_; }

  // How many requests for the page itself were answered (tests, benchmarks).
  int pages_served() const { return pages_served_; }
  // How long the last page took from the engine's request to the answer.
  std::chrono::steady_clock::duration last_answer_time() const { return *last_answer_time_; }

 private:
  static void OnRequest(WebKitURISchemeRequest* request, gpointer) noexcept;
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self) noexcept;
  void ServePage(WebKitURISchemeRequest* request);
  void ServeIcon(WebKitURISchemeRequest* request, const std::string& page_url);
  bool OnPageAction(WebKitWebView* view, const std::string& uri);

  const core::FavouritesStore& favourites_;
  core::HistoryStore& history_;
  core::RemovedPages removed_;
  std::string search_query_;
  GCancellable* icons_cancellable_;
  int pages_served_ = 0;
  sigc::signal<void()> pages_removed_;
  std::shared_ptr<std::chrono::steady_clock::duration> last_answer_time_ =
      std::make_shared<std::chrono::steady_clock::duration>();
  core::TaskScope scope_;
};

}  // namespace nuve::ui
