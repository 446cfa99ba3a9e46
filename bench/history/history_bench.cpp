// Completion latency for one typed character with 100,000 pages in the
// history: the time from asking the store (as the address box does on each
// key) until its answer arrives, through the store's worker thread. The
// database is built once in a temporary folder with the store's own schema
// and rank, from a synthetic but lifelike mix: a few thousand sites, deep
// paths, word titles, visits from a long tail, visit times over a year.
//
//   bench_history [--rows N] [--queries N] [--seed N]
//
// Ends with "completion_ms_p95: X".
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <random>
#include <string>
#include <vector>

#include "core/history/history_store.h"
#include "support/bench_figures.h"

namespace {

using nuve::bench::Option;
using nuve::bench::Percentile;

using Clock = std::chrono::steady_clock;

const char* const kWords[] = {"news", "mail", "video", "music", "shop", "travel", "game", "search", "map",
                              "bank", "weather", "sport", "code", "docs", "forum", "blog", "photo", "cloud",
                              "wiki", "learn", "health", "food", "car", "home", "jobs", "tech", "finance",
                              "新闻", "视频", "购物", "地图", "天气", "音乐", "游戏", "学习", "论坛"};
constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);

std::string RandomHost(std::mt19937& rng, int site) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<int> length(4, 12);
  std::string host;
  std::mt19937 site_rng(static_cast<unsigned>(site) * 7919u);
  const int n = length(site_rng);
  for (int i = 0; i < n; ++i) host += kLetters[site_rng() % 36];
  (void)rng;
  static const char* const kTlds[] = {".com", ".cn", ".org", ".net", ".com.cn", ".io"};
  return host + kTlds[site % 6];
}

// Fills `file` with `rows` pages through one transaction (the store's schema
// is made by the store itself first).
void Build(const std::filesystem::path& file, long rows, unsigned seed) {
  { nuve::core::HistoryStore make_schema(file); }
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT OR IGNORE INTO history(url, title, visits, last_visit, rank, stripped, search, visit_order)"
                     " VALUES(?1, ?2, ?3, ?4, ?5, lower(?6), lower(?6) || char(10) || lower(?2), ?7)",
                     -1, &insert, nullptr);
  std::mt19937 rng(seed);
  const int sites = 3000;
  std::uniform_int_distribution<int> site_pick(0, sites - 1);
  std::uniform_int_distribution<int> word(0, kWordCount - 1);
  std::uniform_int_distribution<int> depth(0, 4);
  std::uniform_int_distribution<long> age(0, 365L * 86400);
  std::geometric_distribution<int> visits(0.3);
  const long now = 1'750'000'000;
  for (long i = 0; i < rows; ++i) {
    const int site = site_pick(rng) % (1 + site_pick(rng));  // a few sites are visited far more
    std::string url = (i % 3 == 0 ? "http://" : "https://") + std::string(i % 2 == 0 ? "www." : "") +
                      RandomHost(rng, site) + "/";
    const int parts = depth(rng);
    for (int p = 0; p < parts; ++p) url += std::string(kWords[word(rng)]) + "/";
    url += std::to_string(i);
    const std::string title = std::string(kWords[word(rng)]) + " " + kWords[word(rng)] + " - " + RandomHost(rng, site);
    const int count = 1 + visits(rng);
    const long when = now - age(rng);
    sqlite3_bind_text(insert, 1, url.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, title.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 3, count);
    sqlite3_bind_int64(insert, 4, when);
    sqlite3_bind_double(insert, 5, nuve::core::HistoryRank(count, when));
    sqlite3_bind_text(insert, 6, nuve::core::StripForCompletion(url).c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 7, i + 1);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = Option(argc, argv, "--rows", 100000);
  const long queries = Option(argc, argv, "--queries", 2000);
  const unsigned seed = static_cast<unsigned>(Option(argc, argv, "--seed", 1));
  char folder_template[] = "/tmp/nuve-bench-history-XXXXXX";
  const std::filesystem::path folder = mkdtemp(folder_template);
  const auto file = folder / "history.sqlite";
  const auto build_start = Clock::now();
  Build(file, rows, seed);
  std::printf("built %ld rows in %.1f s (%.1f MiB)\n", rows,
              std::chrono::duration<double>(Clock::now() - build_start).count(),
              static_cast<double>(std::filesystem::file_size(file)) / (1 << 20));

  nuve::core::HistoryStore store(file);
  store.Flush();  // opened and checked
  // Every first character a user may type into the address box.
  const std::string typed = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::vector<double> ms;
  std::vector<double> worst_by_char(typed.size(), 0);
  size_t offered = 0;
  for (long q = 0; q < queries; ++q) {
    const size_t which = static_cast<size_t>(q) % typed.size();
    std::promise<size_t> answer;
    const auto start = Clock::now();
    store.Complete(std::string(1, typed[which]), 8,
                   [&](nuve::core::HistoryStore::Entries rows_found) { answer.set_value(rows_found.size()); });
    offered += answer.get_future().get();
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    ms.push_back(elapsed);
    worst_by_char[which] = std::max(worst_by_char[which], elapsed);
  }
  const size_t slowest = static_cast<size_t>(std::max_element(worst_by_char.begin(), worst_by_char.end()) - worst_by_char.begin());
  std::printf("queries: %ld (one character each, %s), rows offered on average: %.1f\n", queries, typed.c_str(),
              static_cast<double>(offered) / static_cast<double>(queries));
  std::printf("completion ms: p50 %.2f, p95 %.2f, p99 %.2f, max %.2f (slowest character: '%c')\n",
              Percentile(ms, 0.50), Percentile(ms, 0.95), Percentile(ms, 0.99), Percentile(ms, 1.0), typed[slowest]);
  // For the record: text that matches nothing walks every row.
  std::vector<double> rare;
  for (int q = 0; q < 50; ++q) {
    std::promise<void> answer;
    const auto start = Clock::now();
    store.Complete("zqxj", 8, [&](nuve::core::HistoryStore::Entries) { answer.set_value(); });
    answer.get_future().wait();
    rare.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::printf("text matching nothing (\"zqxj\", every row read): p95 %.2f ms\n", Percentile(rare, 0.95));
  std::printf("load average: %.2f (the machine is shared)\n", [] {
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
      if (std::fscanf(f, "%lf", &load) != 1) load = 0;
      std::fclose(f);
    }
    return load;
  }());
  std::filesystem::remove_all(folder);
  std::printf("completion_ms_p95: %.2f\n", Percentile(ms, 0.95));
  return 0;
}
