// A disk that fills up under the service, played on a small tmpfs: below the
// free-space reserve writes are refused and /healthz says 503, while
// keep-alives go on working even when not one byte is left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/mount.h>
#include <unistd.h>

#include "browser_client.h"
#include "server_process.h"

namespace nuve::test {
namespace {

using std::chrono::milliseconds;

// Writes zeros into `file` until the disk is full.
void FillDisk(const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string block(64 * 1024, '\0');
  std::size_t size = block.size();
  while (size > 0) {
    if (write(fd, block.data(), size) <= 0) size /= 2;  // the last few bytes, in smaller pieces
  }
  fsync(fd);
  close(fd);
}

// A 16 MiB tmpfs in a temporary folder, gone with the object whatever the
// test's outcome.
struct SmallDisk {
  SmallDisk() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nuve-full.XXXXXX").string();
    path = mkdtemp(pattern.data());
    mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=16m,mode=0700") == 0;
    if (!mounted) error = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
    std::filesystem::remove_all(path);
  }
  std::filesystem::path path;
  bool mounted = false;
  std::string error;
};

TEST(FullDisk, KeepAlivesGoOnWhileWritesAreRefusedAndHealthSays503) {
  if (geteuid() != 0) GTEST_SKIP() << "skipped: a full disk is played on a small tmpfs, which only root can mount";
  const SmallDisk small;
  if (!small.mounted) GTEST_SKIP() << "skipped: cannot mount a tmpfs here (" << small.error << ")";
  const std::filesystem::path& disk = small.path;
  {
    // Sessions of 20 s are renewed every 2 s: a keep-alive below tries to
    // write on the full disk.
    ServerProcess server({"--data", disk.string(), "--free-space-reserve", "4", "--session-ttl", "20"});
    BrowserClient b(server.host());
    ASSERT_TRUE(b.client.SendRegisterCodeMail("full@example.com").IsSuccess());
    core::RegisterFields fields;
    fields.email = "full@example.com";
    fields.code = CodeInMail(LastMailTo(server.Log(), "full@example.com"));
    ASSERT_TRUE(b.client.Register("12345678", "secret-1", fields).IsSuccess());
    ASSERT_TRUE(b.client.Login("12345678", "secret-1").IsSuccess());
    httplib::Client web("127.0.0.1", server.port());
    ASSERT_EQ(web.Get("/healthz")->status, 200);

    FillDisk(disk / "filler");
    EXPECT_TRUE(WaitUntil([&] { return web.Get("/healthz")->status == 503; }, milliseconds(5000)));
    EXPECT_EQ(b.client.SendFeedback("t", "c").Message(), "服务器存储空间不足，请稍后再试");
    EXPECT_EQ(b.client.SetUserData("k", std::string(1000, 'v')).Message(), "服务器存储空间不足，请稍后再试");
    // Three seconds of keep-alives: past a renewal that cannot be written.
    const auto until = std::chrono::steady_clock::now() + milliseconds(3000);
    int renewed = 0;
    int failed = 0;
    while (std::chrono::steady_clock::now() < until) {
      (b.client.KeepAlive() ? renewed : failed)++;
      std::this_thread::sleep_for(milliseconds(100));
    }
    EXPECT_EQ(failed, 0);
    EXPECT_GT(renewed, 10);
    EXPECT_EQ(b.client.GetInfo().ToUserInfo().Account(), "12345678") << "reads go on";

    std::filesystem::remove(disk / "filler");
    EXPECT_TRUE(WaitUntil([&] { return web.Get("/healthz")->status == 200; }, milliseconds(5000)));
    EXPECT_TRUE(b.client.SendFeedback("t", "c").IsSuccess());
  }
}

}  // namespace
}  // namespace nuve::test
