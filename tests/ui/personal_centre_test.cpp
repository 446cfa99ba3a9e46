// The personal centre logged in, logged out and with a failed reply, its
// avatar, and its three buttons.
#include <gtest/gtest.h>

#include "account_window_test.h"
#include "core/sync/sync_texts.h"

namespace nuve::test {
namespace {

class PersonalCentreTest : public AccountWindowTest {
 protected:
  Gtk::Window& OpenCentre() {
    window_->activate_action("win.personal-centre");
    Gtk::Window& centre = LastModal();
    EXPECT_EQ(centre.get_title(), "个人中心");
    return centre;
  }
  std::string Text(Gtk::Window& window, const char* name) { return Get<Gtk::Label>(window, name).get_text(); }
  std::string Markup(Gtk::Window& window, const char* name) { return Get<Gtk::Label>(window, name).get_label(); }
  bool WaitForInfo(std::size_t count) {
    return RunUntil([&] { return service_->RequestsTo("/api/info.e").size() >= count; }) &&
           RunUntil([&] { return !Get<Gtk::Spinner>(LastModal(), "busy").get_visible(); });
  }
  void ReplyWithProfile(const std::string& head_url) {
    service_->SetCustomReply("/api/info.e",
                             R"({"code":0,"result":true,"message":"ok","responseBody":{"account":"12345678",)"
                             R"("email":"user@example.com","headUrl":")" + head_url +
                                 R"(","id":1000,"loginAddress":"127.0.0.1","loginTime":1700000000000,)"
                                 R"("registTime":1600000000}})");
  }
};

TEST_F(PersonalCentreTest, LoggedInTheProfileItsAvatarAndTheGreenStatusAreShown) {
  OpenMain();
  LogIn("12345678", "p&ss=1");
  ReplyWithProfile(pages_->Url("/icon.png"));
  Gtk::Window& centre = OpenCentre();
  auto& avatar = Get<Gtk::Image>(centre, "图片框1");
  EXPECT_EQ(avatar.get_storage_type(), Gtk::Image::Type::ICON_NAME) << "the default picture first";
  ASSERT_TRUE(WaitForInfo(1));
  EXPECT_EQ(service_->RequestsTo("/api/info.e")[0].body, "token=" + service_->TokenOf("12345678"));
  EXPECT_EQ(Text(centre, "用户ID"), "用户ID：1000");
  EXPECT_EQ(Text(centre, "用户帐号"), "用户账号：12345678");
  EXPECT_EQ(Text(centre, "注册邮箱"), "注册邮箱：user@example.com");
  EXPECT_EQ(Text(centre, "注册时间"), "注册日期：2020-09-13 20:26:40");
  EXPECT_EQ(Text(centre, "上次登录时间"), "上次登录时间：2023-11-15 06:13:20");
  EXPECT_EQ(Text(centre, "上次登录地址"), "上次登录地址：127.0.0.1");
  EXPECT_EQ(Text(centre, "用户昵称"), "");
  EXPECT_EQ(Text(centre, "帐号状态"), "已登录 状态正常");
  EXPECT_NE(Markup(centre, "帐号状态").find("#00FF00"), std::string::npos);
  EXPECT_EQ(context_->current_user().Account(), "12345678") << "the profile outlives the window";
  EXPECT_TRUE(RunUntil([&] { return avatar.get_storage_type() == Gtk::Image::Type::PAINTABLE; }));

  Press(Get<Gtk::Button>(centre, "按钮1"));
  EXPECT_EQ(ui_host_.messages, std::vector<std::string>{"内测期间暂不支持修改资料！"});
  Press(Get<Gtk::Button>(centre, "按钮2"));
  EXPECT_EQ(LastModal().get_title(), "修改密码");
  Press(Get<Gtk::Button>(centre, "按钮3"));
  EXPECT_EQ(LastModal().get_title(), "反馈");
  EXPECT_EQ(ui_host_.messages.size(), 1u);
}

TEST_F(PersonalCentreTest, LoggedOutTheStatusIsBlueAndBothGuardedButtonsRefuse) {
  OpenMain();
  Gtk::Window& centre = OpenCentre();
  ASSERT_TRUE(WaitForInfo(1)) << "the profile is asked for even when logged out";
  EXPECT_EQ(Text(centre, "帐号状态"), "未登录");
  EXPECT_NE(Markup(centre, "帐号状态").find("#0000FF"), std::string::npos);
  EXPECT_EQ(Text(centre, "用户帐号"), "用户帐号：") << "the form's text stays";
  const std::size_t windows = ui_host_.modals.size();
  Press(Get<Gtk::Button>(centre, "按钮2"));
  Press(Get<Gtk::Button>(centre, "按钮3"));
  EXPECT_EQ(ui_host_.messages, (std::vector<std::string>{"请登陆后再进行该操作！", "请登录后再进行该操作！"}));
  EXPECT_EQ(ui_host_.modals.size(), windows);
}

TEST_F(PersonalCentreTest, AFailedReplyOrAPictureThatIsNoneLeavesEmptyFieldsAndTheDefaultAvatar) {
  SetIni("登录配置", "登录态", "1");  // logged in on disk, with no live session
  OpenMain();
  service_->SetMode("/api/info.e", ReplyMode::kServerError);
  Gtk::Window& failed = OpenCentre();
  ASSERT_TRUE(WaitForInfo(1));
  EXPECT_EQ(Text(failed, "用户ID"), "用户ID：0");
  EXPECT_EQ(Text(failed, "用户帐号"), "用户账号：");
  EXPECT_EQ(Text(failed, "注册时间"), "注册日期：1970-01-01 08:00:00");
  EXPECT_EQ(Get<Gtk::Image>(failed, "图片框1").get_storage_type(), Gtk::Image::Type::ICON_NAME);
  EXPECT_TRUE(ui_host_.messages.empty());

  ReplyWithProfile(pages_->Url("/title/not-a-picture"));
  Gtk::Window& centre = OpenCentre();
  ASSERT_TRUE(WaitForInfo(2));
  EXPECT_EQ(Text(centre, "用户帐号"), "用户账号：12345678");
  ASSERT_TRUE(RunUntil([&] { return pages_->Hits("/title/not-a-picture") == 1; }));
  ASSERT_TRUE(WaitForQuiet()) << "the fetched bytes have reached the window";
  EXPECT_EQ(Get<Gtk::Image>(centre, "图片框1").get_storage_type(), Gtk::Image::Type::ICON_NAME);
}

TEST_F(PersonalCentreTest, TheSyncRowTellsTheLastSyncAndOffersSyncingOnlyWhenItCan) {
  // An earlier run synced; this one has no password-unlocked sync yet.
  WriteFileBytes(home_->path() / "favourites-sync.json",
                 R"({"v":1,"account":"12345678","generation":1,"revision":3,"lastSynced":1700000000000,)"
                 R"("base":[],"local":[]})");
  OpenMain();
  Gtk::Window& centre = OpenCentre();
  auto& last = Get<Gtk::Label>(centre, "上次同步");
  ASSERT_TRUE(RunUntil([&] { return last.get_text() != "上次同步：尚未同步"; }));
  EXPECT_EQ(last.get_text().raw(), core::LastSyncedText(1700000000000));
  EXPECT_EQ(Get<Gtk::Label>(centre, "同步状态").get_text(), "登录后收藏会与帐号同步");
  EXPECT_FALSE(Get<Gtk::Button>(centre, "立即同步").get_sensitive());
  EXPECT_TRUE(ui_host_.messages.empty());
}

}  // namespace
}  // namespace nuve::test
