#include "core/session/session_store.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/temp_home.h"

namespace nuve::core {
namespace {

SessionList ThreeTabs() {
  SessionList list;
  list.tabs = {{"http://a.test/", "A", std::string("\0\1binary\xff", 9)},
               {"https://b.test/x?y=1&z=[2]", "B = 标题\n第二行", ""},
               {"file:///tmp/c.html", "", "s"}};
  list.current = 1;
  return list;
}

TEST(SessionStore, TheListComesBackAsItWasSavedAndOnlyTheLatestCounts) {
  test::TempHome home(false);
  const auto file = home.path() / "session.ini";
  {
    SessionStore store(file);
    SessionList first;
    first.tabs = {{"http://old.test/", "old", ""}};
    store.Save(first);
    store.Save(ThreeTabs());
  }  // the last list is written before the store goes
  SessionStore again(file);
  EXPECT_EQ(again.Load(), ThreeTabs());
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "the open pages are the owner's business";
  again.Remove();
  again.Flush();
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(again.Load().tabs.empty());
}

TEST(SessionStore, TruncatedOrGarbageFilesGiveWhatCanBeReadAndNoCrash) {
  test::TempHome home(false);
  const auto file = home.path() / "session.ini";
  const std::string whole = SerializeSession(ThreeTabs());
  // Cut inside the third tab's group: the first two come back.
  test::WriteFileBytes(file, whole.substr(0, whole.find("[tab2]") + 3));
  SessionStore store(file);
  const SessionList cut = store.Load();
  ASSERT_EQ(cut.tabs.size(), 2u);
  EXPECT_EQ(cut.tabs[1].uri, "https://b.test/x?y=1&z=[2]");
  EXPECT_EQ(cut.current, 1);
  for (const std::string& garbage : {std::string("\x01\x02\xff\xfe garbage"), std::string("[session]\ncount=abc\n"),
                                    std::string("[session]\ncount=5\ncurrent=-7\n"), std::string()}) {
    test::WriteFileBytes(file, garbage);
    const SessionList list = store.Load();
    EXPECT_TRUE(list.tabs.empty());
    EXPECT_EQ(list.current, 0);
  }
}

}  // namespace
}  // namespace nuve::core
