// bench_sync [--favourites N] [--changes N] [--rounds N]
//
// Two NUVE homes and nuve-account-server on 127.0.0.1 (a fresh SQLite
// database). Home A holds 10,000 favourites in 100 folders; it logs in and
// makes the first upload (sync_first_ms: scan, pack, encrypt, upload). Home
// B then downloads them. Each round, A makes 100 changes (renames, moves,
// additions, deletions) and syncs, B makes 100 of its own and syncs: B's
// sync, a merge of 100 changes on each side, is sync_merge_ms (the median
// of the rounds). The service's CPU time (user + system, from /proc) over
// all the rounds' syncs, divided by their number, is
// service_cpu_ms_per_merge. The homes live in /dev/shm when there is one:
// what is measured is the sync, not how fast this disk makes files.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/account/account_client.h"
#include "core/favourites/url_file.h"
#include "core/sync/favourites_sync.h"
#include "core/util/atomic_file.h"
#include "support/account_service_child.h"

namespace {

using Clock = std::chrono::steady_clock;
using nuve::bench::AccountServiceChild;
constexpr char kAccount[] = "12345678";
constexpr char kPassword[] = "bench-password";

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// This process's own CPU time so far (user + system), in milliseconds: on a
// loaded machine the wall-clock figures grow with the load, this does not.
double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}


bool AddUser(const std::filesystem::path& data) {
  const std::string command = std::string(NUVE_ACCOUNT_SERVER) + " --data '" + data.string() +
                              "' --password-hash light user add " + kAccount + " bench@example.com > /dev/null";
  FILE* admin = popen(command.c_str(), "w");
  if (admin == nullptr) return false;
  std::fprintf(admin, "%s\n", kPassword);
  return pclose(admin) == 0;
}

struct Home {
  Home(const std::string& host, const std::filesystem::path& dir)
      : client(session, host, nuve::core::kApplicationKey),
        store(dir / "收藏夹"),
        sync(store, dir / "favourites-sync.json", session, host, nullptr) {}
  nuve::core::LoginSession session{std::chrono::hours(1), [] {}};
  nuve::core::AccountClient client;
  nuve::core::FavouritesStore store;
  nuve::core::FavouritesSync sync;
};

void Write(const std::filesystem::path& file, const std::string& address) {
  (void)nuve::core::WriteFileAtomically(file, nuve::core::UrlFileContent(address), 0644, false);
}

// `count` changes to favourites number `first`...: a quarter each renamed,
// moved to the next folder, deleted, and new ones added.
void Change(const std::filesystem::path& root, int folders, int first, int count, const std::string& tag) {
  for (int k = 0; k < count; ++k) {
    const int n = first + k;
    const auto folder = root / ("文件夹 " + std::to_string(n % folders));
    const auto file = folder / ("收藏 " + std::to_string(n) + ".url");
    std::error_code ec;
    switch (k % 4) {
      case 0: std::filesystem::rename(file, folder / ("改名 " + tag + " " + std::to_string(n) + ".url"), ec); break;
      case 1:
        std::filesystem::rename(file, root / ("文件夹 " + std::to_string((n + 1) % folders)) / file.filename(), ec);
        break;
      case 2: std::filesystem::remove(file, ec); break;
      default: Write(folder / ("新增 " + tag + " " + std::to_string(n) + ".url"), "https://new.test/" + tag + "/" + std::to_string(n));
    }
  }
}

bool Check(const nuve::core::SyncOutcome& outcome, const char* what) {
  if (outcome.ok()) return true;
  std::cerr << what << " failed: " << static_cast<int>(outcome.result) << " " << outcome.detail << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int favourites = 10000;
  int changes = 100;
  int rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--favourites") == 0) favourites = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--changes") == 0) changes = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  const int folders = std::max(1, favourites / 100);
  std::string pattern = (std::filesystem::temp_directory_path() / "nuve-bench-sync.XXXXXX").string();
  const std::filesystem::path data = mkdtemp(pattern.data());
  const bool shm = access("/dev/shm", W_OK) == 0;
  std::string homes_pattern = std::string(shm ? "/dev/shm" : std::filesystem::temp_directory_path().c_str()) +
                              "/nuve-bench-homes.XXXXXX";
  const std::filesystem::path homes = mkdtemp(homes_pattern.data());
  int status = 1;
  {
    AccountServiceChild service;
    if (!service.Start(NUVE_ACCOUNT_SERVER, data, {"--password-hash", "light"}) || !AddUser(data)) {
      std::fprintf(stderr, "the account service did not start\n");
      return 1;
    }
    const std::string host = "127.0.0.1:" + std::to_string(service.port());
    Home a(host, homes / "a");
    Home b(host, homes / "b");
    (void)a.store.EnsureFolder();
    for (int f = 0; f < folders; ++f) std::filesystem::create_directories(a.store.folder() / ("文件夹 " + std::to_string(f)));
    for (int n = 0; n < favourites; ++n) {
      Write(a.store.folder() / ("文件夹 " + std::to_string(n % folders)) / ("收藏 " + std::to_string(n) + ".url"),
            "https://www.example-" + std::to_string(n % 97) + ".test/path/to/page-" + std::to_string(n) + "?ref=nuve");
    }
    if (!a.client.Login(kAccount, kPassword).IsSuccess() || !b.client.Login(kAccount, kPassword).IsSuccess()) {
      std::fprintf(stderr, "login failed\n");
      return 1;
    }
    auto t = Clock::now();
    if (!Check(a.sync.Unlock(kAccount, kPassword), "unlock")) return 1;
    const double unlock_ms = Ms(t);
    t = Clock::now();
    double cpu = CpuMs();
    if (!Check(a.sync.Sync(), "first upload")) return 1;
    const double first_ms = Ms(t);
    const double first_cpu_ms = CpuMs() - cpu;
    if (!Check(b.sync.Unlock(kAccount, kPassword), "unlock B")) return 1;
    t = Clock::now();
    if (!Check(b.sync.Sync(), "first download")) return 1;
    const double download_ms = Ms(t);

    const double cpu_before = service.CpuMs();
    std::vector<double> merges;
    std::vector<double> merge_cpu;
    int syncs = 0;
    for (int r = 0; r < rounds; ++r) {
      Change(a.store.folder(), folders, r * 2 * changes, changes, "a" + std::to_string(r));
      if (!Check(a.sync.Sync(), "A's round")) return 1;
      Change(b.store.folder(), folders, r * 2 * changes + changes, changes, "b" + std::to_string(r));
      t = Clock::now();
      cpu = CpuMs();
      const nuve::core::SyncOutcome merged = b.sync.Sync();
      merges.push_back(Ms(t));
      merge_cpu.push_back(CpuMs() - cpu);
      if (!Check(merged, "B's merge")) return 1;
      syncs += 2;
    }
    const double cpu_ms = service.CpuMs() - cpu_before;
    if (!Check(a.sync.Sync(), "A's last")) return 1;
    std::sort(merges.begin(), merges.end());
    std::sort(merge_cpu.begin(), merge_cpu.end());
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    std::printf("favourites: %d in %d folders; changes per side per round: %d; rounds: %d\n", favourites, folders,
                changes, rounds);
    std::printf("homes in %s; load average %.2f; %u cores\n", shm ? "/dev/shm" : "the temporary folder", load,
                std::thread::hardware_concurrency());
    std::printf("unlock_ms (Argon2id, interactive): %.0f\n", unlock_ms);
    std::printf("first download to an empty home: %.0f ms\n", download_ms);
    std::printf("merges (ms): min %.0f, max %.0f\n", merges.front(), merges.back());
    std::printf("CPU time of this process (not slowed by the load): first upload %.0f ms, merge (median) %.0f ms\n",
                first_cpu_ms, merge_cpu[merge_cpu.size() / 2]);
    std::printf("sync_first_ms: %.0f\n", first_ms);
    std::printf("sync_merge_ms: %.0f\n", merges[merges.size() / 2]);
    std::printf("sync_first_cpu_ms: %.0f\n", first_cpu_ms);
    std::printf("sync_merge_cpu_ms: %.0f\n", merge_cpu[merge_cpu.size() / 2]);
    std::printf("service_cpu_ms_per_merge: %.1f\n", cpu_ms / syncs);
    status = 0;
  }
  std::error_code ec;
  std::filesystem::remove_all(homes, ec);
  std::filesystem::remove_all(data, ec);
  return status;
}
