#include "core/util/free_heap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

namespace nuve::core {
namespace {

// The process's resident memory, in bytes (/proc/self/statm, field 2).
[[maybe_unused]] long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Many small blocks freed below one that stays: the C library keeps their
// pages (only the heap's end would go back by itself) until they are asked
// for; then they go, and the block in use keeps its contents.
TEST(FreeHeapTest, FreedBlocksBelowABlockInUseGoBackToTheSystem) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers bring heaps of their own";
#else
  constexpr std::size_t kBlock = 4096;
  constexpr std::size_t kBlocks = 16384;  // 64 MiB
  std::vector<std::unique_ptr<char[]>> blocks;
  blocks.reserve(kBlocks);
  for (std::size_t i = 0; i < kBlocks; ++i) {
    blocks.push_back(std::make_unique<char[]>(kBlock));
    std::memset(blocks.back().get(), 0x5a, kBlock);
  }
  auto kept = std::make_unique<char[]>(kBlock);
  std::memset(kept.get(), 0x17, kBlock);
  blocks.clear();
  const long before = ResidentBytes();

  EXPECT_TRUE(ReturnFreeHeapPages());
  const long after = ResidentBytes();
  EXPECT_GT(before - after, 48L << 20) << "before " << before << ", after " << after;
  for (std::size_t i = 0; i < kBlock; ++i) ASSERT_EQ(kept[i], 0x17);
  // Nothing more to give back a second time.
  ReturnFreeHeapPages();
  EXPECT_LE(ResidentBytes(), after + (1L << 20));
#endif
}

}  // namespace
}  // namespace nuve::core
