#include "account_window_test.h"

namespace nuve::test {

std::string SmallPng() {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 4, 4);
  gdk_pixbuf_fill(pixbuf, 0x3366ccff);
  gchar* buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr);
  std::string bytes(buffer, size);
  g_free(buffer);
  g_object_unref(pixbuf);
  return bytes;
}

void AccountWindowTest::SetUp() {
  MainWindowTest::SetUp();
  service_ = std::make_unique<FakeAccountService>();
  service_->AddAccount("12345678", "p&ss=1", "user@example.com");
  SetEnv("NUVE_SERVICE_HOST", service_->host());
}

void AccountWindowTest::TearDown() {
  MainWindowTest::TearDown();
  service_.reset();
}

ui::MainWindow& AccountWindowTest::OpenMain() { return Open(pages_->Url("/title/One")); }

Gtk::Window& AccountWindowTest::LastModal() {
  if (ui_host_.modals.empty()) throw std::runtime_error("no modal window is open");
  return *ui_host_.modals.back();
}

bool AccountWindowTest::WaitForMessages(std::size_t count, int ms) {
  return RunUntil([&] { return ui_host_.messages.size() >= count; }, ms);
}

void AccountWindowTest::LogIn(const std::string& account, const std::string& password) {
  ASSERT_TRUE(context_->login_account().Login(account, password).IsSuccess());
  context_->login_state().RecordLogin(account);
}

void AccountWindowTest::SetIni(const char* section, const char* key, const std::string& value) const {
  ASSERT_TRUE(LoginIni().Write(section, key, value).ok());
}

}  // namespace nuve::test
