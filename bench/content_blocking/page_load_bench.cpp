// What content blocking costs a page: a local page with 300 images, 100 of
// them on a host a filter list blocks, loaded through a proxy on 127.0.0.1
// that answers for every host, with Debian's EasyList and EasyPrivacy and
// that one list in use, and again with blocking off:
//   page_load_ratio_blocking  median load time with blocking over without (goal <= 1.0)
//   blocking_pss_mib          PSS of the program and its web processes with
//                             blocking on minus off (goal <= 30)
// Each side runs in a process of its own, after one load to warm up; the
// lists are compiled once beforehand. Needs a display (xvfb-run).
//
//   bench_content_blocking_page                the whole run
//   bench_content_blocking_page --side on|off  one side in $NUVE_HOME
#include <gtkmm.h>
#include <webkit/webkit.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/app/config.h"
#include "core/content_blocking/filter_list_catalog.h"
#include "core/util/task_runner.h"
#include "support/site_proxy.h"
#include "ui/app/glib_ui_poster.h"
#include "ui/engine/content_filters.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kResources = 300;
constexpr int kMatching = 100;
constexpr int kRuns = 7;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

constexpr char kGif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00"
                        "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b";

std::string Page() {
  std::string page = "<html><head><title>bench</title></head><body>";
  for (int i = 0; i < kResources; ++i) {
    const bool ad = i % (kResources / kMatching) == 0;
    page += std::string("<img src=\"http://") + (ad ? "ads.bench.test" : "cdn.bench.test") + "/img-" +
            std::to_string(i) + ".gif\" width=1 height=1>";
  }
  return page + "</body></html>";
}

// The PSS of `pid` and every process below it, in KiB.
long PssKiB(pid_t root) {
  std::set<pid_t> family = {root};
  // Parents before children is not promised: go round until nothing joins.
  for (bool grew = true; grew;) {
    grew = false;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return -1;
    while (dirent* entry = readdir(proc)) {
      const pid_t pid = std::atoi(entry->d_name);
      if (pid <= 0 || family.count(pid) != 0) continue;
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      std::getline(stat, line);
      const std::size_t close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      char state = 0;
      pid_t parent = 0;
      rest >> state >> parent;
      if (family.count(parent) != 0) {
        family.insert(pid);
        grew = true;
      }
    }
    closedir(proc);
  }
  long total = 0;
  for (const pid_t pid : family) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);) {
      if (line.rfind("Pss:", 0) == 0) total += std::atol(line.c_str() + 4);
    }
  }
  return total;
}

bool Iterate(const std::function<bool()>& done, double ms) {
  const Clock::time_point start = Clock::now();
  auto context = Glib::MainContext::get_default();
  auto tick = Glib::signal_timeout().connect([] { return true; }, 10);
  while (!done() && Ms(start) < ms) context->iteration(true);
  tick.disconnect();
  return done();
}

// One side: prints "load_ms: X" (the median) and "pss_kib: Y".
int RunSide(bool blocking) {
  const nuve::core::Config config = nuve::core::Config::FromEnvironment();
  nuve::ui::GlibUiPoster poster;
  nuve::core::TaskRunner tasks(poster);
  nuve::ui::ContentFilters filters(config, tasks, {});
  filters.SetEnabled(blocking);
  filters.Start();
  if (!Iterate([&] { return filters.ready() && filters.idle(); }, 600000)) return 1;
  for (const auto& info : filters.lists()) {
    if (info.state != nuve::ui::ContentFilters::ListInfo::State::kActive) {
      std::fprintf(stderr, "%s: not in use: %s\n", info.source.name.c_str(), info.error.c_str());
      return 1;
    }
  }
  const char* proxy_address = std::getenv("NUVE_BENCH_PROXY");
  if (proxy_address == nullptr) return 1;
  WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
  WebKitNetworkProxySettings* proxy = webkit_network_proxy_settings_new(proxy_address, nullptr);
  webkit_network_session_set_proxy_settings(session, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
  webkit_network_proxy_settings_free(proxy);
  auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session, nullptr));
  filters.AttachView(view);
  Gtk::Window window;
  window.set_default_size(800, 600);
  window.set_child(*Glib::wrap(GTK_WIDGET(view)));
  window.present();

  bool finished = false;
  g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                     if (event == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(data) = true;
                   }),
                   &finished);
  std::vector<double> times;
  for (int run = 0; run <= kRuns; ++run) {
    finished = false;
    const std::string uri = "http://news.bench.test/?run=" + std::to_string(run);
    const Clock::time_point start = Clock::now();
    webkit_web_view_load_uri(view, uri.c_str());
    if (!Iterate([&] { return finished; }, 60000)) return 1;
    if (run > 0) times.push_back(Ms(start));  // the first one warms up
  }
  std::sort(times.begin(), times.end());
  std::printf("load_ms: %.2f\n", times[times.size() / 2]);
  std::printf("pss_kib: %ld\n", PssKiB(getpid()));
  std::fflush(stdout);
  window.unset_child();
  g_object_unref(session);
  return 0;
}

double Field(const std::string& out, const char* name) {
  const std::size_t at = out.find(name);
  return at == std::string::npos ? -1 : std::atof(out.c_str() + at + std::strlen(name));
}

bool RunChild(const char* self, bool blocking, double& load_ms, double& pss_kib) {
  gchar* out = nullptr;
  gint status = 0;
  const char* argv[] = {self, "--side", blocking ? "on" : "off", nullptr};
  if (!g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, nullptr,
                    &status, nullptr)) {
    return false;
  }
  const std::string text = out != nullptr ? out : "";
  g_free(out);
  load_ms = Field(text, "load_ms: ");
  pss_kib = Field(text, "pss_kib: ");
  return g_spawn_check_wait_status(status, nullptr) && load_ms > 0 && pss_kib > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--side") {
    // Registering the application initialises GTK and gtkmm.
    auto app = Gtk::Application::create("org.nuve.BenchBlockingPage", Gio::Application::Flags::NON_UNIQUE);
    app->register_application();
    return RunSide(std::string(argv[2]) == "on");
  }
  const std::filesystem::path debian(nuve::core::kPackagedFilterListFolder);
  if (!std::filesystem::exists(debian / "easylist.txt") || !std::filesystem::exists(debian / "easyprivacy.txt")) {
    std::puts("skipped: Debian's filter lists are missing (apt-get install webext-ublock-origin-chromium)");
    return 77;
  }
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    std::puts("skipped: no display (run it under xvfb-run)");
    return 77;
  }
  char scratch_pattern[] = "/tmp/nuve-bench-page-XXXXXX";
  const std::filesystem::path scratch = mkdtemp(scratch_pattern);
  const std::filesystem::path home = scratch / "home";
  std::filesystem::create_directories(home / "过滤规则");
  std::ofstream(home / "过滤规则" / "bench.txt") << "! Title: bench\n||ads.bench.test^$image\n";
  setenv("NUVE_HOME", home.c_str(), 1);
  setenv("NUVE_PACKAGED_FILTER_LISTS", debian.c_str(), 1);

  nuve::test::SiteProxy proxy;
  proxy.Serve("news.bench.test", "/", {200, "text/html", Page(), {{"Cache-Control", "no-store"}}, 0});
  for (int i = 0; i < kResources; ++i) {
    const std::string path = "/img-" + std::to_string(i) + ".gif";
    const nuve::test::SiteProxy::Reply gif{200, "image/gif", std::string(kGif, sizeof kGif - 1),
                                           {{"Cache-Control", "no-store"}}, 0};
    proxy.Serve("cdn.bench.test", path, gif);
    proxy.Serve("ads.bench.test", path, gif);
  }
  setenv("NUVE_BENCH_PROXY", ("http://" + proxy.address()).c_str(), 1);

  // The first side compiles the lists (untimed as far as the goals go).
  double warm_load = 0;
  double warm_pss = 0;
  if (!RunChild(argv[0], true, warm_load, warm_pss)) {
    std::puts("the first run failed");
    return 1;
  }
  double on_load = 0, on_pss = 0, off_load = 0, off_pss = 0;
  const bool ok = RunChild(argv[0], false, off_load, off_pss) && RunChild(argv[0], true, on_load, on_pss);
  const int ad_hits = proxy.Hits("ads.bench.test", "/img-0.gif");
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  if (!ok) {
    std::puts("a run failed");
    return 1;
  }
  std::printf("%d images, %d on the blocked host; median of %d loads per side\n", kResources, kMatching, kRuns);
  std::printf("load_ms_blocking: %.1f\nload_ms_without: %.1f\n", on_load, off_load);
  std::printf("requests for one blocked image (only the side without blocking asks): %d\n", ad_hits);
  std::printf("page_load_ratio_blocking: %.2f\n", on_load / off_load);
  std::printf("blocking_pss_mib: %.1f\n", (on_pss - off_pss) / 1024.0);
  return 0;
}
