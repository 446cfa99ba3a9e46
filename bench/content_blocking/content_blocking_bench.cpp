// Content blocking with Debian's EasyList and EasyPrivacy (the lists of
// webext-ublock-origin-chromium), in a temporary NUVE_HOME:
//   convert_ms      converting both lists to the engine's rules (median of 5)
//   compile_ms      the engine's first compile of both converted lists
//   first_start_ms  a start with nothing cached: find, convert, compile
//   cached_load_ms  a start with both lists compiled in the cache, from
//                   ContentFilters::Start until they are in use (goal <= 20)
// The starts run in processes of their own, as the program's would. No
// display is needed: nothing here draws.
//
//   bench_content_blocking            the whole run
//   bench_content_blocking --start    one start in $NUVE_HOME; prints "start_ms: X"
#include <glib.h>
#include <glibmm.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app/config.h"
#include "core/content_blocking/filter_list_catalog.h"
#include "core/content_blocking/filter_list_converter.h"
#include "core/util/task_runner.h"
#include "ui/app/glib_ui_poster.h"
#include "ui/engine/content_filters.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

std::string ReadAll(const std::filesystem::path& file) {
  std::string error;
  return nuve::core::ReadFilterListFile(file, error);
}

// One start of content blocking; gives the time until every list is in use,
// or a negative number when a list could not be used.
double OneStart() {
  const nuve::core::Config config = nuve::core::Config::FromEnvironment();
  nuve::ui::GlibUiPoster poster;
  nuve::core::TaskRunner tasks(poster);
  nuve::ui::ContentFilters filters(config, tasks, {});
  const Clock::time_point start = Clock::now();
  filters.Start();
  auto context = Glib::MainContext::get_default();
  auto settled = [&] {
    if (!filters.ready() || !filters.idle()) return false;
    return std::all_of(filters.lists().begin(), filters.lists().end(), [](const auto& info) {
      return info.state == nuve::ui::ContentFilters::ListInfo::State::kActive;
    });
  };
  while (!settled() && Ms(start) < 600000) context->iteration(true);
  const double ms = Ms(start);
  for (const auto& info : filters.lists()) {
    if (info.state != nuve::ui::ContentFilters::ListInfo::State::kActive) {
      std::fprintf(stderr, "%s: %s\n", info.source.name.c_str(), info.error.c_str());
      return -1;
    }
  }
  return filters.lists().size() == 2 ? ms : -1;
}

// Compiles `json` into a store in `folder`; gives the milliseconds.
double Compile(const std::string& folder, const std::string& id, const std::string& json) {
  struct Wait {
    bool done = false;
    bool ok = false;
  } wait;
  WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(folder.c_str());
  GBytes* bytes = g_bytes_new(json.data(), json.size());
  const Clock::time_point start = Clock::now();
  webkit_user_content_filter_store_save(
      store, id.c_str(), bytes, nullptr,
      +[](GObject* object, GAsyncResult* result, gpointer data) {
        auto* w = static_cast<Wait*>(data);
        GError* error = nullptr;
        WebKitUserContentFilter* filter =
            webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(object), result, &error);
        if (error != nullptr) {
          std::fprintf(stderr, "compile: %s\n", error->message);
          g_error_free(error);
        }
        w->ok = filter != nullptr;
        if (filter != nullptr) webkit_user_content_filter_unref(filter);
        w->done = true;
      },
      &wait);
  while (!wait.done) g_main_context_iteration(nullptr, TRUE);
  const double ms = Ms(start);
  g_bytes_unref(bytes);
  g_object_unref(store);
  return wait.ok ? ms : -1;
}

double RunChild(const char* self) {
  gchar* out = nullptr;
  gint status = 0;
  const char* argv[] = {self, "--start", nullptr};
  if (!g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, nullptr,
                    &status, nullptr)) {
    return -1;
  }
  double ms = -1;
  if (out != nullptr) {
    const char* at = std::strstr(out, "start_ms: ");
    if (at != nullptr) ms = std::atof(at + 10);
  }
  g_free(out);
  return g_spawn_check_wait_status(status, nullptr) ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
  Glib::init();
  if (argc > 1 && std::string(argv[1]) == "--start") {
    std::printf("start_ms: %.1f\n", OneStart());
    return 0;
  }
  const std::filesystem::path debian(nuve::core::kPackagedFilterListFolder);
  if (!std::filesystem::exists(debian / "easylist.txt") || !std::filesystem::exists(debian / "easyprivacy.txt")) {
    std::puts("skipped: Debian's filter lists are missing (apt-get install webext-ublock-origin-chromium)");
    return 77;
  }
  const std::string lists[] = {ReadAll(debian / "easylist.txt"), ReadAll(debian / "easyprivacy.txt")};

  std::vector<double> runs;
  std::vector<std::string> json(2);
  for (int run = 0; run < 5; ++run) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < 2; ++i) json[i] = nuve::core::ConvertFilterList(lists[i]).json;
    runs.push_back(Ms(start));
  }
  std::sort(runs.begin(), runs.end());
  std::printf("EasyList %zu bytes, EasyPrivacy %zu bytes; converted %zu + %zu bytes of rules\n", lists[0].size(),
              lists[1].size(), json[0].size(), json[1].size());

  char scratch_pattern[] = "/tmp/nuve-bench-blocking-XXXXXX";
  const std::filesystem::path scratch = mkdtemp(scratch_pattern);
  const double compile_ms = Compile((scratch / "store").string(), "easylist", json[0]) +
                            Compile((scratch / "store").string(), "easyprivacy", json[1]);

  setenv("NUVE_HOME", (scratch / "home").c_str(), 1);
  setenv("NUVE_PACKAGED_FILTER_LISTS", debian.c_str(), 1);
  const double first_start_ms = RunChild(argv[0]);
  std::vector<double> cached;
  for (int run = 0; run < 5; ++run) cached.push_back(RunChild(argv[0]));
  std::sort(cached.begin(), cached.end());
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);

  std::puts("(starts run in processes of their own; cached_load_ms is the median of 5)");
  std::printf("convert_ms: %.0f\n", runs[2]);
  std::printf("compile_ms: %.0f\n", compile_ms);
  std::printf("first_start_ms: %.0f\n", first_start_ms);
  std::printf("cached_load_ms: %.1f\n", cached[2]);
  return compile_ms < 0 || first_start_ms < 0 || cached[0] < 0 ? 1 : 0;
}
