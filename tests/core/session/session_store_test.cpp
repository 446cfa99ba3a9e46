#include "core/session/session_store.h"
#include "core/session/session_book.h"

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

SessionList OneTab(const std::string& uri) {
  SessionList list;
  list.tabs = {{uri, "", ""}};
  return list;
}

TEST(SessionStore, SeveralWindowsComeBackAndAOneWindowFileReadsAsItAlwaysDid) {
  test::TempHome home(false);
  const auto file = home.path() / "session.ini";
  // A file as a one-window run left it.
  test::WriteFileBytes(file, "[session]\ncount=1\ncurrent=0\n\n[tab0]\nuri=http://old.test/\ntitle=\nstate=\n");
  {
    SessionStore store(file);
    ASSERT_EQ(store.LoadWindows(), std::vector<SessionList>{OneTab("http://old.test/")});
    store.Flush();
    store.SaveWindows({ThreeTabs(), OneTab("http://second.test/"), OneTab("http://third.test/")});
  }
  SessionStore again(file);
  const std::vector<SessionList> windows = again.LoadWindows();
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(windows[0], ThreeTabs());
  EXPECT_EQ(windows[2], OneTab("http://third.test/"));
  EXPECT_EQ(again.Load(), ThreeTabs()) << "a reader of one window finds the first";
  std::string problem;
  EXPECT_EQ(ParseSession(test::ReadFileBytes(file), problem), ThreeTabs());
  EXPECT_EQ(problem, "");
}

TEST(SessionBook, ClosedWindowsLeaveTheListButTheLastOneAndThoseOfTheEndStay) {
  test::TempHome home(false);
  SessionStore store(home.path() / "session.ini");
  SessionBook book(store);
  const auto saved = [&] {
    store.Flush();
    return store.LoadWindows();
  };
  const auto a = book.Join();
  const auto b = book.Join();
  book.Restoring(b, OneTab("http://b.test/"));
  book.Update(a, OneTab("http://a.test/"));
  EXPECT_EQ(saved(), (std::vector<SessionList>{OneTab("http://a.test/"), OneTab("http://b.test/")}))
      << "a window still loading is saved as it is to restore";
  book.Leave(a);
  EXPECT_EQ(saved(), std::vector<SessionList>{OneTab("http://b.test/")});
  book.Leave(b);
  EXPECT_EQ(saved(), std::vector<SessionList>{OneTab("http://b.test/")}) << "the last window stays";

  // The program ends with three windows open: all three stay, whatever the order.
  const auto c = book.Join();
  const auto d = book.Join();
  const auto e = book.Join();
  book.Update(c, OneTab("http://c.test/"));
  book.Update(d, OneTab("http://d.test/"));
  book.Update(e, OneTab("http://e.test/"));
  book.KeepAll();
  book.Leave(d);
  book.Update(c, OneTab("http://c2.test/"));
  book.Leave(c);
  book.Leave(e);
  EXPECT_EQ(saved(), (std::vector<SessionList>{OneTab("http://c2.test/"), OneTab("http://d.test/"),
                                               OneTab("http://e.test/")}));
  // A window of a later start begins a list of its own.
  const auto f = book.Join();
  book.Update(f, OneTab("http://f.test/"));
  EXPECT_EQ(saved(), std::vector<SessionList>{OneTab("http://f.test/")});
}

}  // namespace
}  // namespace nuve::core
