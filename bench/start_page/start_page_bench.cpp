// How soon a new tab shows the start page: the time from the new-tab
// command (Ctrl+T) in the real main window until the tab's page reports the
// title "新标签页". The first new tab waits for its own web process: the
// engine asks nuve://start, the program lists the favourites (1,000 of
// them, 12 shown), asks the history (5,000 pages) for the most visited and
// writes the page, and the engine parses it. From then on the window keeps
// the next start page ready, and a new tab takes it; each tab is closed,
// and the next one opened once the window has a page ready again (as a user
// who opens a tab now and then finds it). Needs a display (the run script
// uses xvfb-run).
//
//   bench_start_page [--runs N] [--favourites N] [--pages N]
//
// Ends with "start_page_first_ms: X" (the first new tab),
// "start_page_after_request_ms_p95: X" (from the engine's request for
// nuve://start to the title, for tabs that asked) and "start_page_ms_p95: X"
// (goal: at most 30).
#include <gtkmm.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/app/command_line.h"
#include "core/app/config.h"
#include "core/favourites/favourites_store.h"
#include "core/history/history_store.h"
#include "ui/app/app_context.h"
#include "ui/app/gtk_ui_host.h"
#include "ui/main/main_window.h"
#include "support/bench_figures.h"
#include "support/main_loop.h"

namespace {

using Clock = std::chrono::steady_clock;
using nuve::bench::LoadAverage;
using nuve::bench::Option;
using nuve::bench::Percentile;

// A timer of 1 ms: the figures are a few milliseconds.
bool RunUntil(const std::function<bool()>& done, int ms) { return nuve::bench::RunUntil(done, ms, 1); }

}  // namespace

int main(int argc, char** argv) {
  const long runs = std::max(1L, Option(argc, argv, "--runs", 100));
  const long favourites = Option(argc, argv, "--favourites", 1000);
  const long pages = Option(argc, argv, "--pages", 5000);
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    std::printf("skipped: no display (run it under xvfb-run, as bench/start_page/run does)\n");
    return 77;
  }
  char folder_template[] = "/var/tmp/nuve-bench-start-page-XXXXXX";
  const std::filesystem::path folder = mkdtemp(folder_template);
  const auto home = folder / "home";
  setenv("NUVE_HOME", home.c_str(), 1);
  setenv("NUVE_VERSION_SOURCE", "http://127.0.0.1:9", 1);
  setenv("NUVE_SERVICE_HOST", "127.0.0.1:9", 1);
  setenv("NUVE_PORTAL_A", "nuve://start", 1);

  // The user's data, written before the program starts.
  {
    nuve::core::FavouritesStore store(home / "收藏夹");
    if (!store.EnsureFolder().ok()) return 1;
    for (long i = 0; i < favourites; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "网站%04ld", i);
      if (!store.WriteNew(name, "http://site" + std::to_string(i) + ".test/", store.folder(), false).status.ok()) {
        return 1;
      }
    }
    nuve::core::HistoryStore history(home / "history.sqlite");
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    for (long i = 0; i < pages; ++i) {
      const std::string url = "http://page" + std::to_string(i % 997) + ".test/" + std::to_string(i);
      history.RecordVisit(url, "页面 " + std::to_string(i), now - (i * 3571) % (200 * 86400));
    }
    history.Flush();
  }

  auto app = Gtk::Application::create("org.nuve.StartPageBench", Gio::Application::Flags::NON_UNIQUE);
  app->register_application();
  nuve::ui::GtkUiHost ui_host;
  auto context = std::make_unique<nuve::ui::AppContext>(nuve::core::Config::FromEnvironment(), ui_host);
  auto window = std::make_unique<nuve::ui::MainWindow>(*context, nuve::core::StartRequest{});
  window->present();
  if (!RunUntil([&] { return window->tab_strip().FirstTab().page().Title() == "新标签页"; }, 30000)) {
    std::fprintf(stderr, "the window never showed the start page\n");
    return 1;
  }
  RunUntil([] { return false; }, 1000);  // the deferred start-up work settles

  std::printf("%ld favourites, %ld history pages, %ld new tabs, each closed before the next\n", favourites, pages,
              runs);
  std::vector<double> ms;
  std::vector<double> asked_ms;   // until the engine asked for the page (its web process started)
  std::vector<double> answer_ms;  // the program's own answer: favourites, history, the page written
  std::vector<double> served_ms;  // from then until the title: the program's answer and the page's parse
  for (long run = 0; run < runs; ++run) {
    // The page made ready after the tab before (none before the first).
    if (run > 0 && !RunUntil([&] { return window->tab_strip().ready_start_page().IsReady(); }, 10000)) {
      std::fprintf(stderr, "run %ld: the window never made a start page ready\n", run + 1);
      return 1;
    }
    const int served_before = context->start_page().pages_served();
    const auto start = Clock::now();
    window->activate_action("win.new-tab");
    nuve::ui::BrowserTab* tab = &window->tab_strip().CurrentTab();
    Clock::time_point asked{};
    if (!RunUntil(
            [&] {
              if (asked == Clock::time_point{} && context->start_page().pages_served() > served_before) {
                asked = Clock::now();
              }
              return window->tab_strip().BrowsingTabCount() == 2 && tab->page().Title() == "新标签页";
            },
            10000)) {
      std::fprintf(stderr, "run %ld: the new tab never showed the start page\n", run + 1);
      return 1;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (asked != Clock::time_point{}) {  // the tab asked for its page itself
      asked_ms.push_back(std::chrono::duration<double, std::milli>(asked - start).count());
      served_ms.push_back(ms.back() - asked_ms.back());
      answer_ms.push_back(
          std::chrono::duration<double, std::milli>(context->start_page().last_answer_time()).count());
    }
    window->tab_strip().CloseCurrentTab();
    RunUntil([&] { return window->tab_strip().BrowsingTabCount() == 1; }, 5000);
    RunUntil([] { return false; }, 20);
  }
  const int served = context->start_page().pages_served();
  window.reset();
  context.reset();
  std::filesystem::remove_all(folder);
  std::printf("p50 %.1f ms, p95 %.1f ms, max %.1f ms; %d pages served; load %.2f\n", Percentile(ms, 0.5),
              Percentile(ms, 0.95), *std::max_element(ms.begin(), ms.end()), served, LoadAverage());
  std::printf("%zu of %ld tabs asked for their page themselves (the rest took a ready one)\n", asked_ms.size(),
              runs);
  if (!asked_ms.empty()) {
    std::printf("of which until the engine asked for nuve://start: p50 %.1f ms, p95 %.1f ms\n",
                Percentile(asked_ms, 0.5), Percentile(asked_ms, 0.95));
    std::printf("the program's answer (favourites, history, page): p50 %.1f ms, p95 %.1f ms\n",
                Percentile(answer_ms, 0.5), Percentile(answer_ms, 0.95));
    std::printf("start_page_after_request_ms_p95: %.1f\n", Percentile(served_ms, 0.95));
  }
  std::printf("start_page_first_ms: %.1f\n", ms.front());
  std::printf("start_page_ms_p95: %.1f\n", Percentile(ms, 0.95));
  return 0;
}
