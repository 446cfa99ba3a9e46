// Addresses people can read: the address box, the completion list and the
// history window show the words of an address, the clipboard gets the
// address itself, and an edited address still loads the page it names.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "ui/history/address_completion.h"
#include "ui/history/history_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class ReadableAddressTest : public MainWindowTest {
 protected:
  // What the clipboard holds, read the way another program reads it.
  std::string Clipboard() { return ClipboardText(*window_); }
  // The texts of the labels under `widget`, in order, joined by "|".
  static std::string Labels(Gtk::Widget& widget) {
    std::string texts;
    if (auto* label = dynamic_cast<Gtk::Label*>(&widget)) texts = label->get_text() + "|";
    for (Gtk::Widget* child = widget.get_first_child(); child != nullptr; child = child->get_next_sibling()) {
      texts += Labels(*child);
    }
    return texts;
  }
};

TEST_F(ReadableAddressTest, TheBoxTheListAndTheHistoryShowWordsAndTheClipboardGetsTheAddress) {
  const std::string address = pages_->Url("/title/rust%20ownership%20%E6%89%80%E6%9C%89%E6%9D%83");
  const std::string shown = pages_->Url("/title/rust ownership 所有权");
  ui::MainWindow& window = Open(address);
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ui::NavigationBar& bar = window.navigation_bar();
  ASSERT_TRUE(WaitForTabTitle(tab, "rust ownership 所有权"));
  ASSERT_TRUE(WaitUntilShown(bar.address_entry()));
  EXPECT_EQ(bar.address_entry().get_text().raw(), shown);
  EXPECT_EQ(bar.Address(), address);

  // The whole address copies and cuts as the address; a part as it is shown.
  bar.FocusAddress();
  ASSERT_TRUE(XDoTool("key ctrl+c"));
  EXPECT_TRUE(RunUntil([&] { return Clipboard() == address; }, 5000)) << Clipboard();
  bar.address_entry().select_region(0, 7);
  ASSERT_TRUE(XDoTool("key ctrl+c"));
  EXPECT_TRUE(RunUntil([&] { return Clipboard() == "http://"; }, 5000)) << Clipboard();
  bar.address_entry().select_region(0, -1);
  ASSERT_TRUE(XDoTool("key ctrl+x"));
  EXPECT_TRUE(RunUntil([&] { return Clipboard() == address && bar.address_entry().get_text().empty(); }, 5000))
      << Clipboard();

  // An edited address loads what it says, words and all, not a search.
  bar.address_entry().set_text(shown + " 2");
  window.Go();
  EXPECT_TRUE(WaitForTabTitle(tab, "rust ownership 所有权 2")) << tab.page().Title();
  EXPECT_EQ(tab.page().Uri(), address + "%202");
  EXPECT_EQ(bar.address_entry().get_text().raw(), shown + " 2");

  // Host names: Unicode when their scripts are ordinary, punycode for a look-alike.
  bar.SetAddress("http://xn--fiq228c.example/");
  EXPECT_EQ(bar.address_entry().get_text().raw(), "http://中文.example/");
  EXPECT_EQ(bar.Address(), "http://xn--fiq228c.example/");
  bar.SetAddress("http://xn--pple-43d.com/");  // Cyrillic а, Latin pple
  EXPECT_EQ(bar.address_entry().get_text().raw(), "http://xn--pple-43d.com/");

  // The completion list shows the words and takes the address.
  context_->history().Flush();
  bar.FocusAddress();
  ASSERT_TRUE(XDoTool("type --delay 60 owner"));
  ui::AddressCompletion& completion = window.completion();
  ASSERT_TRUE(RunUntil(
      [&] {
        return bar.address_entry().get_text().raw() == "owner" && completion.IsShown() && completion.rows().size() == 2;
      },
      5000));
  const int first = completion.rows()[0].url == address ? 0 : 1;
  EXPECT_EQ(completion.rows()[first].url, address);
  Gtk::ListBoxRow* row = completion.list().get_row_at_index(first);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(Labels(*row), "rust ownership 所有权|" + shown + "|");
  for (int i = 0; i <= first; ++i) ASSERT_TRUE(XDoTool("key Down"));
  ASSERT_TRUE(RunUntil([&] { return completion.selected() == first; }, 2000));
  ASSERT_TRUE(XDoTool("key Return"));
  EXPECT_TRUE(WaitForTabTitle(tab, "rust ownership 所有权")) << tab.page().Title();
  EXPECT_EQ(tab.page().Uri(), address);

  // So does the history window.
  window.activate_action("win.history");
  ASSERT_EQ(ui_host_.modals.size(), 1u);
  auto* history = dynamic_cast<ui::HistoryWindow*>(ui_host_.modals[0].get());
  ASSERT_NE(history, nullptr);
  ASSERT_TRUE(RunUntil([&] { return history->entries().size() == 2; }));
  std::string listed;
  for (int i = 0; i < 2; ++i) listed += Labels(*history->list().get_row_at_index(i));
  EXPECT_NE(listed.find("rust ownership 所有权|" + shown + "|"), std::string::npos) << listed;
  EXPECT_NE(listed.find("rust ownership 所有权 2|" + shown + " 2|"), std::string::npos) << listed;
}

}  // namespace
}  // namespace nuve::test
