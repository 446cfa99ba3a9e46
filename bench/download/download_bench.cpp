// Download throughput: one file (200 MiB by default) served on 127.0.0.1,
// fetched by curl and by NUVE in turns within the same run, so both see the
// same machine at the same moment. NUVE's time runs from loading the file's
// address in a tab of the real main window until the download is complete
// under its final name (the engine's network process, our decide-destination,
// the .part file and its rename included). Needs a display (xvfb-run).
//
//   bench_download [--mib N] [--rounds N] [--direct]
//
// Ends with "download_ratio_vs_curl: X" (NUVE's median time over curl's).
#include <gtkmm.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/app/command_line.h"
#include "core/app/config.h"
#include "ui/app/app_context.h"
#include "ui/app/gtk_ui_host.h"
#include "ui/main/main_window.h"
#include "support/bench_figures.h"
#include "support/main_loop.h"

namespace {

using Clock = std::chrono::steady_clock;
using nuve::bench::LoadAverage;
using nuve::bench::Median;
using nuve::bench::Option;
using nuve::bench::RunUntil;

}  // namespace

int main(int argc, char** argv) {
  const long mib = Option(argc, argv, "--mib", 200);
  const long rounds = Option(argc, argv, "--rounds", 3);
  // --direct: the engine's own download call, no tab (shows what the tab adds).
  const bool direct = std::find_if(argv, argv + argc, [](const char* a) { return std::string(a) == "--direct"; }) !=
                      argv + argc;
  const std::uint64_t size = static_cast<std::uint64_t>(mib) << 20;
  char folder_template[] = "/var/tmp/nuve-bench-download-XXXXXX";
  const std::filesystem::path folder = mkdtemp(folder_template);
  const auto downloads = folder / "downloads";
  std::filesystem::create_directories(downloads);
  setenv("NUVE_HOME", (folder / "home").c_str(), 1);
  setenv("NUVE_DOWNLOAD_DIR", downloads.c_str(), 1);
  setenv("NUVE_VERSION_SOURCE", "http://127.0.0.1:9", 1);
  setenv("NUVE_SERVICE_HOST", "127.0.0.1:9", 1);
  setenv("NUVE_PORTAL_A", "data:text/html,<title>bench</title>", 1);

  // The file: the same 1 MiB block over and over, sent as it is asked for.
  const std::string block(1 << 20, 'n');
  httplib::Server server;
  server.Get("/bench.bin", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("Content-Disposition", "attachment; filename=\"bench.bin\"");
    res.set_content_provider(size, "application/octet-stream",
                             [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               const std::size_t n = std::min<std::size_t>({length, block.size(), size - offset});
                               return sink.write(block.data(), n);
                             });
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/bench.bin";

  auto app = Gtk::Application::create("org.nuve.DownloadBench", Gio::Application::Flags::NON_UNIQUE);
  app->register_application();
  nuve::ui::GtkUiHost ui_host;
  auto context = std::make_unique<nuve::ui::AppContext>(nuve::core::Config::FromEnvironment(), ui_host);
  auto window = std::make_unique<nuve::ui::MainWindow>(*context, nuve::core::StartRequest{});
  window->present();
  nuve::ui::BrowserTab& tab = window->tab_strip().FirstTab();
  if (!RunUntil([&] { return tab.page().Title() == "bench"; }, 30000)) {
    std::fprintf(stderr, "the window never showed its first page\n");
    return 1;
  }

  std::printf("file: %ld MiB from %s, %ld rounds, curl and NUVE in turns\n", mib, url.c_str(), rounds);
  std::vector<double> curl_s;
  std::vector<double> nuve_s;
  for (long round = 1; round <= rounds; ++round) {
    const auto curl_file = downloads / "curl.bin";
    const std::string command = "curl -s --noproxy '*' -o '" + curl_file.string() + "' '" + url + "'";
    auto start = Clock::now();
    const int status = std::system(command.c_str());
    curl_s.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (status != 0 || std::filesystem::file_size(curl_file) != size) {
      std::fprintf(stderr, "curl failed (status %d)\n", status);
      return 1;
    }
    std::filesystem::remove(curl_file);

    const size_t before = window->downloads().items().size();
    start = Clock::now();
    if (direct) {
      g_object_unref(webkit_network_session_download_uri(context->engine().network_session(), url.c_str()));
    } else {
      tab.page().Load(url);
    }
    const bool done = RunUntil(
        [&] {
          const auto& items = window->downloads().items();
          return items.size() > before && items.back()->finished();
        },
        600000);
    nuve_s.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    const auto& item = *window->downloads().items().back();
    if (!done || item.state() != nuve::ui::DownloadItem::State::kCompleted ||
        std::filesystem::file_size(item.final_path()) != size) {
      std::fprintf(stderr, "NUVE's download failed: %s\n", item.problem().c_str());
      return 1;
    }
    std::filesystem::remove(item.final_path());
    const double mb = static_cast<double>(mib);
    std::printf("round %ld: curl %.2f s (%.0f MiB/s), NUVE %.2f s (%.0f MiB/s), load %.2f\n", round,
                curl_s.back(), mb / curl_s.back(), nuve_s.back(), mb / nuve_s.back(), LoadAverage());
  }
  window.reset();
  context.reset();
  server.stop();
  serving.join();
  std::filesystem::remove_all(folder);
  const double ratio = Median(nuve_s) / Median(curl_s);
  std::printf("median: curl %.2f s, NUVE %.2f s; the machine is shared (load %.2f at the end)\n", Median(curl_s),
              Median(nuve_s), LoadAverage());
  std::printf("download_ratio_vs_curl: %.2f\n", ratio);
  return 0;
}
