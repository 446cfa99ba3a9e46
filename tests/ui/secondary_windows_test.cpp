// Windows that behave: Escape closes every secondary window as its close
// button does, message boxes speak Chinese to people and to screen readers,
// and the register window keeps its size while its countdown runs.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "account_window_test.h"
#include "ui/account/login_window.h"
#include "ui/account/personal_centre_window.h"
#include "ui/account/register_window.h"
#include "ui/app/gtk_ui_host.h"
#include "ui/update/new_version_window.h"

namespace nuve::test {
namespace {

class SecondaryWindowsTest : public AccountWindowTest {
 protected:
  void TearDown() override {
    real_host_.ReleaseAll();
    AccountWindowTest::TearDown();
  }

  // The message box GtkUiHost shows now; null when none is on screen.
  static Gtk::MessageDialog* ShownMessageBox() {
    for (Gtk::Window* window : Gtk::Window::list_toplevels()) {
      auto* box = dynamic_cast<Gtk::MessageDialog*>(window);
      if (box != nullptr && box->get_visible()) return box;
    }
    return nullptr;
  }
  // The buttons people can see under `root`, in order.
  static void VisibleButtons(Gtk::Widget& root, std::vector<Gtk::Button*>& found) {
    if (!root.get_visible()) return;
    if (auto* button = dynamic_cast<Gtk::Button*>(&root)) found.push_back(button);
    for (Gtk::Widget* child = root.get_first_child(); child != nullptr; child = child->get_next_sibling()) {
      VisibleButtons(*child, found);
    }
  }
  // The captions of a box's buttons, each checked to be its accessible name.
  static std::vector<std::string> Captions(Gtk::MessageDialog& box) {
    std::vector<Gtk::Button*> buttons;
    VisibleButtons(box, buttons);
    std::vector<std::string> captions;
    for (Gtk::Button* button : buttons) {
      captions.push_back(button->get_label());
      char* mismatch = gtk_test_accessible_check_property(GTK_ACCESSIBLE(button->gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                                          button->get_label().c_str());
      EXPECT_EQ(mismatch, nullptr) << button->get_label() << ": " << (mismatch != nullptr ? mismatch : "");
      g_free(mismatch);
    }
    return captions;
  }
  static Gtk::Button* ButtonLabelled(Gtk::MessageDialog& box, const std::string& caption) {
    std::vector<Gtk::Button*> buttons;
    VisibleButtons(box, buttons);
    for (Gtk::Button* button : buttons) {
      if (button->get_label().raw() == caption) return button;
    }
    return nullptr;
  }
  // Presses Escape in `window` once it is on screen, after a click on its
  // corner gives it the keyboard (there is no window manager to do it).
  static bool PressEscapeIn(Gtk::Window& window) {
    return WaitUntilShown(window) && PointerAt(window, 2, 2, "click 1") && XDoTool("key Escape");
  }

  ui::GtkUiHost real_host_;
};

TEST_F(SecondaryWindowsTest, EscapeClosesEverySecondaryWindowAsItsCloseButtonDoes) {
  ui::MainWindow& window = OpenMain();
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  // Each window opened the way people open it, recorded by the test's host.
  for (const char* action :
       {"settings", "about", "check-update", "add-favourite", "update-log", "history", "login", "personal-centre"}) {
    window.activate_action(std::string("win.") + action);
  }
  ASSERT_EQ(ui_host_.modals.size(), 8u);
  auto& login = dynamic_cast<ui::LoginWindow&>(*ui_host_.modals[6]);
  login.signal_register_requested().emit();
  login.signal_recover_requested().emit();
  auto& centre = dynamic_cast<ui::PersonalCentreWindow&>(*ui_host_.modals[7]);
  centre.signal_change_password_requested().emit();
  centre.signal_feedback_requested().emit();
  ui_host_.modals.push_back(std::make_unique<ui::NewVersionWindow>(
      "http://127.0.0.1:9/download", ui_host_, [] { ADD_FAILURE() << "closing the new-version window ends nothing"; }));
  ASSERT_EQ(ui_host_.modals.size(), 13u);

  // Then shown by the program's own host, one at a time, and closed with Escape.
  std::set<std::string> titles;
  std::vector<std::unique_ptr<Gtk::Window>> windows = std::move(ui_host_.modals);
  for (auto& owned : windows) {
    Gtk::Window& shown = *owned;
    const std::string title = shown.get_title();
    titles.insert(title);
    bool closed = false;
    real_host_.ShowModal(std::move(owned), &window, [&closed] { closed = true; });
    ASSERT_TRUE(PressEscapeIn(shown)) << title;
    EXPECT_TRUE(RunUntil([&] { return closed; }, 5000)) << title << " stays open";
    RunPending();  // the host lets the window go
  }
  EXPECT_EQ(titles.size(), 12u) << "every window is a different one";
}

TEST_F(SecondaryWindowsTest, MessageBoxesSayTheirButtonsInChineseToScreenReadersToo) {
  ui::MainWindow& window = OpenMain();
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));

  real_host_.Info(&window, "已保存");
  Gtk::MessageDialog* box = ShownMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Captions(*box), std::vector<std::string>{"确定"});
  Gtk::Button* ok = ButtonLabelled(*box, "确定");
  ASSERT_NE(ok, nullptr);
  Click(*ok);
  EXPECT_TRUE(RunUntil([] { return ShownMessageBox() == nullptr; }, 3000));

  bool closed = false;
  real_host_.Error(&window, "保存失败", [&closed] { closed = true; });
  box = ShownMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Captions(*box), std::vector<std::string>{"确定"});
  ASSERT_TRUE(PressEscapeIn(*box));
  EXPECT_TRUE(RunUntil([&] { return closed && ShownMessageBox() == nullptr; }, 3000)) << "Escape closes it";

  std::vector<bool> answers;
  for (const char* press : {"确定", "取消", "Escape"}) {
    real_host_.Confirm(&window, "确定要清除全部历史记录吗？",
                       [&answers](bool accepted) { answers.push_back(accepted); });
    box = ShownMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Captions(*box), (std::vector<std::string>{"取消", "确定"}));
    if (std::string(press) == "Escape") {
      ASSERT_TRUE(PressEscapeIn(*box));
    } else {
      Gtk::Button* button = ButtonLabelled(*box, press);
      ASSERT_NE(button, nullptr) << press;
      Click(*button);
    }
    ASSERT_TRUE(RunUntil([] { return ShownMessageBox() == nullptr; }, 3000)) << press;
  }
  EXPECT_EQ(answers, (std::vector<bool>{true, false, false}));
}

TEST_F(SecondaryWindowsTest, TheRegisterWindowKeepsItsSizeWhileItCountsDown) {
  OpenMain();
  window_->activate_action("win.login");
  dynamic_cast<ui::LoginWindow&>(LastModal()).signal_register_requested().emit();
  auto& form = dynamic_cast<ui::RegisterWindow&>(LastModal());
  form.SetCountdownInterval(std::chrono::milliseconds(100));
  form.present();
  ASSERT_TRUE(WaitUntilShown(form));
  Gtk::Button& code = Get<Gtk::Button>(form, "按钮2");
  Get<Gtk::Entry>(form, "邮箱").set_text("user@example.com");

  // The window's and the button's width at every frame, from before the
  // request to the end of the countdown: the captions of two digits and of
  // one, and the button's own caption at both ends.
  std::map<std::string, std::set<std::pair<int, int>>> sizes;
  const guint ticks = form.add_tick_callback([&](const Glib::RefPtr<Gdk::FrameClock>&) {
    sizes[code.get_label()].insert({form.get_width(), code.get_width()});
    return true;
  });
  ASSERT_TRUE(RunUntil([&] { return !sizes.empty(); }));
  Press(code);
  ASSERT_FALSE(code.get_sensitive());
  EXPECT_TRUE(RunUntil([&] { return code.get_sensitive(); }, 20000));
  form.remove_tick_callback(ticks);
  EXPECT_TRUE(sizes.contains("获取验证码（59）") && sizes.contains("获取验证码（5）")) << sizes.size() << " captions";
  std::set<std::pair<int, int>> all;
  for (const auto& [caption, seen] : sizes) all.insert(seen.begin(), seen.end());
  EXPECT_EQ(all.size(), 1u) << "window and button widths: " << ::testing::PrintToString(all);
}

}  // namespace
}  // namespace nuve::test
