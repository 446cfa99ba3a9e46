#include "core/downloads/download_names.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <set>

#include "support/temp_home.h"

namespace nuve::core {
namespace {

TEST(DownloadNames, HostileSuggestionsBecomePlainNamesInTheFolder) {
  EXPECT_EQ(SafeDownloadName("report.pdf"), "report.pdf");
  EXPECT_EQ(SafeDownloadName("../../etc/passwd"), "passwd");
  EXPECT_EQ(SafeDownloadName("C:\\Users\\x\\evil.exe"), "evil.exe");
  EXPECT_EQ(SafeDownloadName(".bashrc"), "bashrc") << "no hidden files";
  EXPECT_EQ(SafeDownloadName("a\nb\x01.txt"), "a_b_.txt");
  for (const char* nothing : {"", "..", ".", "/", "dir/", "  "}) {
    EXPECT_EQ(SafeDownloadName(nothing), "下载") << nothing;
  }
  // Long names are cut at a character boundary and stay valid UTF-8.
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "文";
  const std::string cut = SafeDownloadName(wide + ".txt");
  EXPECT_LE(cut.size(), 200u);
  EXPECT_EQ(cut.size() % 3, 0u);
  EXPECT_TRUE(g_utf8_validate(cut.data(), static_cast<gssize>(cut.size()), nullptr));
  const std::string garbage("\xff\xfe.bin", 6);
  const std::string repaired = SafeDownloadName(garbage);
  EXPECT_TRUE(g_utf8_validate(repaired.data(), static_cast<gssize>(repaired.size()), nullptr));
}

TEST(DownloadNames, ACollisionGetsANumberBeforeTheExtension) {
  test::TempHome home(false);
  const auto dir = home.path();
  EXPECT_EQ(UniqueDownloadPath(dir, "a.txt"), dir / "a.txt");
  test::WriteFileBytes(dir / "a.txt", "x");
  EXPECT_EQ(UniqueDownloadPath(dir, "a.txt"), dir / "a (1).txt");
  // A partial download of the same name counts as taken too.
  test::WriteFileBytes(PartialDownloadPath(dir / "a (1).txt"), "x");
  EXPECT_EQ(UniqueDownloadPath(dir, "a.txt"), dir / "a (2).txt");
  // So does a name another running download has reserved.
  std::set<std::filesystem::path> reserved = {dir / "a (2).txt"};
  EXPECT_EQ(UniqueDownloadPath(dir, "a.txt", [&](const auto& p) { return reserved.count(p) > 0; }),
            dir / "a (3).txt");
  test::WriteFileBytes(dir / "b.tar.gz", "x");
  EXPECT_EQ(UniqueDownloadPath(dir, "b.tar.gz"), dir / "b (1).tar.gz");
  test::WriteFileBytes(dir / "noext", "x");
  EXPECT_EQ(UniqueDownloadPath(dir, "noext"), dir / "noext (1)");
  EXPECT_EQ(PartialDownloadPath(dir / "c.zip"), dir / "c.zip.part");
}

TEST(DownloadNames, SizesAndSpeeds) {
  EXPECT_EQ(ByteSizeText(0), "0 B");
  EXPECT_EQ(ByteSizeText(1023), "1023 B");
  EXPECT_EQ(ByteSizeText(1536), "1.5 KB");
  EXPECT_EQ(ByteSizeText(200ull << 20), "200.0 MB");
  EXPECT_EQ(ByteSizeText(5ull << 29), "2.50 GB");
  EXPECT_EQ(SpeedText(2.5 * 1024 * 1024), "2.50 MB/s");
  EXPECT_EQ(SpeedText(-1), "0 B/s");
}

}  // namespace
}  // namespace nuve::core
