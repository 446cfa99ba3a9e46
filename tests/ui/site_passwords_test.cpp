// Saved site passwords end to end: real web views whose pages NUVE's web
// process extension reads, sign-in pages served on 127.0.0.1, keys typed
// into them as a person would, and a private gnome-keyring-daemon as the
// desktop's secret store (tests named "...Keyring..." get one; the others
// run without any).
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <atomic>
#include <utility>
#include <vector>

#include "core/passwords/form_messages.h"
#include "core/passwords/secret_site_password_store.h"
#include "support/private_session_bus.h"
#include "ui/passwords/secret_store_texts.h"
#include "ui/passwords/username_chooser.h"
#include "ui/settings/passwords_settings_section.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

const char kFormStyle[] = "<style>input{display:block;width:220px;height:26px;margin:6px}</style>";

std::string Page(const std::string& title, const std::string& body) {
  return std::string("<!DOCTYPE html><html><head><meta charset=utf-8><title>") + title + "</title>" + kFormStyle +
         "</head><body>" + body + "</body></html>";
}

std::string SignInForm(const std::string& id, const std::string& extra = "", const std::string& attributes = "") {
  return "<form id=" + id + " action=/welcome method=post " + attributes + "><input id=" + id +
         "-user name=user type=text>" + extra +
         "<input id=" + id + "-pass name=pass type=password><button type=submit>登录</button></form>";
}

std::string ManyPasswordFields() {
  std::string fields;
  // Small, so that the form's own fields stay on screen.
  for (int i = 0; i < 100; ++i) {
    fields += "<input type=password name=p" + std::to_string(i) +
              " style='display:inline-block;width:6px;height:6px;margin:0'>";
  }
  return fields;
}

// The sign-in pages of one origin, by path.
const std::vector<std::pair<std::string, std::string>>& SignInPages() {
  static const std::vector<std::pair<std::string, std::string>> pages = {
      {"/login", Page("login", SignInForm("f"))},
      // In a frame: tells its parent when it is loaded, and what its fields hold when asked.
      {"/framed", Page("framed", SignInForm("f") +
                                     "<script>const tell = () => parent.postMessage('user=' + "
                                     "document.getElementById('f-user').value + ';pass=' + "
                                     "document.getElementById('f-pass').value, '*');"
                                     "addEventListener('load', tell); addEventListener('message', tell);</script>")},
      {"/many-passwords", Page("many", SignInForm("f", ManyPasswordFields()))},
      // Multipart: the test server takes no larger url-encoded form than 8 KiB.
      {"/long-username", Page("long", SignInForm("f", "", "enctype=multipart/form-data") +
                                          "<script>document.getElementById('f-user').value = 'a'.repeat(102400);"
                                          "</script>")},
      {"/remove-on-submit", Page("remove", SignInForm("f") +
                                               "<script>const f = document.getElementById('f');"
                                               "f.addEventListener('submit', () => { f.remove(); "
                                               "document.title = 'removed'; });</script>")},
      // Every way a page script could try to pass for the extension.
      {"/lookalike",
       Page("lookalike",
            SignInForm("f") +
                "<script>function pretend() {"
                "const f = document.getElementById('f'), u = document.getElementById('f-user'),"
                "  p = document.getElementById('f-pass');"
                "u.value = 'mallory'; p.value = 'stolen';"
                "for (const name of ['nuve', 'nuve.sign-in-submitted', 'nuveSignIn']) {"
                "  try { window.webkit.messageHandlers[name].postMessage(['mallory', 'stolen']); } catch (e) {}"
                "}"
                "window.postMessage({name: 'nuve.sign-in-submitted', parameters: ['mallory', 'stolen']}, '*');"
                "document.dispatchEvent(new CustomEvent('nuve.sign-in-submitted', {detail: ['m', 's']}));"
                "window.nuveSignIn = {forSubmit() { return [u, p]; }};"
                "u.dispatchEvent(new FocusEvent('focusin', {bubbles: true}));"
                "f.dispatchEvent(new Event('submit', {cancelable: true}));"
                "f.requestSubmit(); }</script>")},
  };
  return pages;
}

class SignInServer {
 public:
  SignInServer() {
    for (const auto& [path, html] : SignInPages()) {
      server_.Get(path, [&html = html](const httplib::Request&, httplib::Response& res) {
        res.set_content(html, "text/html");
      });
    }
    server_.Post("/welcome", [this](const httplib::Request&, httplib::Response& res) {
      ++posts_;
      res.set_content(Page("welcome", ""), "text/html");
    });
    // A sign-in form that posts to another site.
    server_.Get("/login-elsewhere", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(Page("login", SignInForm("f", "", "action='" + req.get_param_value("to") + "'")), "text/html");
    });
    // A visible form, one whose password field is transparent, one whose
    // username field is hidden, and a frame of another origin.
    server_.Get("/forms", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(Page("forms", SignInForm("a") +
                                        "<form id=b><input id=b-user><input id=b-pass type=password "
                                        "style='opacity:0'></form><form id=c><input id=c-user "
                                        "style='visibility:hidden'><input id=c-pass type=password></form>"
                                        "<iframe id=frame src='" + req.get_param_value("frame") +
                                        "' width=400 height=200></iframe><script>addEventListener('message', "
                                        "e => { window.fromFrame = e.data; });</script>"),
                      "text/html");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~SignInServer() {
    server_.stop();
    thread_.join();
  }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string Url(const std::string& path) const { return Origin() + path; }
  int port() const { return port_; }
  int Posts() const { return posts_; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<int> posts_{0};
};

// Counts the requests to unlock a collection that reach the secret service.
class UnlockRequests {
 public:
  explicit UnlockRequests(const std::string& address) {
    connection_ = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (connection_ == nullptr) return;
    g_dbus_connection_add_filter(
        connection_,
        +[](GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer count) -> GDBusMessage* {
          if (!incoming) return message;
          if (g_strcmp0(g_dbus_message_get_member(message), "Unlock") == 0) ++*static_cast<std::atomic<int>*>(count);
          // A monitor only listens: what it sees is nobody's call to answer
          // (an answer would get it thrown off the bus).
          g_object_unref(message);
          return nullptr;
        },
        &count_, nullptr);
    const char* rules[] = {"type='method_call',interface='org.freedesktop.Secret.Service',member='Unlock'", nullptr};
    GVariant* reply = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Monitoring",
        "BecomeMonitor", g_variant_new("(^asu)", rules, 0u), nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (reply != nullptr) g_variant_unref(reply);
  }
  ~UnlockRequests() { g_clear_object(&connection_); }
  int count() const { return count_; }

 private:
  GDBusConnection* connection_ = nullptr;
  std::atomic<int> count_{0};
};

class SitePasswordsWindowTest : public MainWindowTest {
 protected:
  // Evaluates `script` in the page's own world and returns its value as text.
  std::string Eval(WebKitWebView* view, const std::string& script) { return EvaluateScript(view, script); }
  bool WaitForValue(WebKitWebView* view, const std::string& script, const std::string& expected, int ms = 15000) {
    return RunUntil([&] { return Eval(view, script) == expected; }, ms);
  }
  std::string Field(ui::BrowserTab& tab, const std::string& id) {
    return Eval(tab.page().view(), "document.getElementById('" + id + "').value");
  }
  ui::BrowserTab& Tab() { return window_->tab_strip().CurrentTab(); }
  // A window on the sign-in page, shown and ready for typing.
  bool OpenSignInPage() {
    Open(server_.Url("/login"));
    return WaitForTabTitle(Tab(), "login") && WaitUntilShown(Tab().page().widget());
  }
  void Visit(ui::BrowserTab& tab, const std::string& url, const std::string& title) {
    tab.page().Load(url);
    ASSERT_TRUE(WaitForTabTitle(tab, title)) << url;
    ASSERT_TRUE(WaitUntilShown(tab.page().widget()));
  }
  // Clicks into the field `id`, as a person does before typing.
  void ClickInto(ui::BrowserTab& tab, const std::string& id) {
    WebKitWebView* view = tab.page().view();
    const std::string rect = Eval(view, "(() => { const r = document.getElementById('" + id +
                                            "').getBoundingClientRect(); return (r.left + r.width / 2) + ',' + "
                                            "(r.top + r.height / 2); })()");
    ASSERT_NE(rect.find(','), std::string::npos) << "no field " << id;
    const double x = std::stod(rect.substr(0, rect.find(',')));
    const double y = std::stod(rect.substr(rect.find(',') + 1));
    ASSERT_TRUE(PointerAt(tab.page().widget(), x, y, "click 1"));
    ASSERT_TRUE(WaitForValue(view, "document.activeElement.id", id)) << "the click reached " << id;
  }
  // Clicks into the field `id` and types `text` over what it holds. On a
  // busy machine the display can see a key held long enough to repeat:
  // then the field is typed again.
  void TypeInto(ui::BrowserTab& tab, const std::string& id, const std::string& text) {
    WebKitWebView* view = tab.page().view();
    ClickInto(tab, id);
    const std::string value = "document.getElementById('" + id + "').value";
    for (int attempt = 0; attempt < 3 && Eval(view, value) != text; ++attempt) {
      ASSERT_TRUE(XDoTool("key ctrl+a BackSpace"));
      ASSERT_TRUE(XDoTool("type --delay 20 '" + text + "'"));
      RunUntil([&] { return Eval(view, value).size() >= text.size(); }, 5000);
    }
    ASSERT_TRUE(WaitForValue(view, value, text)) << "typed into " << id << ": " << Eval(view, value);
  }
  // Types a sign-in and sends it with Return.
  void SignIn(ui::BrowserTab& tab, const std::string& user, const std::string& password) {
    const int posts = server_.Posts();
    TypeInto(tab, "f-user", user);
    TypeInto(tab, "f-pass", password);
    ASSERT_TRUE(XDoTool("key Return"));
    ASSERT_TRUE(RunUntil([&] { return server_.Posts() > posts; })) << "the form was sent";
    ASSERT_TRUE(WaitForTabTitle(tab, "welcome"));
  }
  bool WaitForBar(ui::BrowserTab& tab) {
    return RunUntil([&] { return tab.password_bar().get_visible(); });
  }
  core::SiteAccounts Saved(const std::string& origin) {
    return core::SecretSitePasswordStore().Find(origin, core::UnlockPolicy::kDoNotAsk, {});
  }
  bool WaitForSaved(const std::string& origin, const std::string& username, const std::string& password) {
    return RunUntil([&] {
      for (const auto& a : Saved(origin).accounts) {
        if (a.username == username && a.password == password) return true;
      }
      return false;
    });
  }
  void Save(const std::string& origin, const std::string& username, const std::string& password) {
    ASSERT_EQ(core::SecretSitePasswordStore().Save({origin, username, password}, {}),
              core::SecretStoreProblem::kNone);
  }
  // The button labelled `label` under `root`.
  static Gtk::Button* ButtonLabelled(Gtk::Widget& root, const std::string& label) {
    if (auto* button = dynamic_cast<Gtk::Button*>(&root); button != nullptr && button->get_label().raw() == label) {
      return button;
    }
    for (Gtk::Widget* child = root.get_first_child(); child != nullptr; child = child->get_next_sibling()) {
      if (Gtk::Button* found = ButtonLabelled(*child, label)) return found;
    }
    return nullptr;
  }

  // No file under NUVE_HOME holds `secret`, the engine's own included.
  void ExpectNoFileHolds(const std::string& secret) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home_->path())) {
      if (!entry.is_regular_file()) continue;
      EXPECT_EQ(ReadFileBytes(entry.path()).find(secret), std::string::npos) << entry.path();
    }
  }

  SignInServer server_;
};

using SitePasswordsWindowKeyringTest = SitePasswordsWindowTest;

TEST_F(SitePasswordsWindowKeyringTest, ASignInIsSavedOnlyOnSaveFilledOnReturnAndUpdatedWhenChanged) {
  ASSERT_TRUE(OpenSignInPage());
  ui::BrowserTab& tab = Tab();
  SignIn(tab, "alice@example.com", "s3cret-1");
  ASSERT_TRUE(WaitForBar(tab));
  EXPECT_EQ(tab.password_bar().Question(), "是否保存 127.0.0.1 的密码？");
  EXPECT_TRUE(Saved(server_.Origin()).accounts.empty()) << "nothing before 保存";
  Click(tab.password_bar().save_button());
  EXPECT_FALSE(tab.password_bar().get_visible());
  ASSERT_TRUE(WaitForSaved(server_.Origin(), "alice@example.com", "s3cret-1"));

  Visit(tab, server_.Url("/login"), "login");
  ASSERT_TRUE(WaitForValue(tab.page().view(), "document.getElementById('f-pass').value", "s3cret-1"));
  EXPECT_EQ(Field(tab, "f-user"), "alice@example.com");

  // The password changed on the site: the user types the new one.
  TypeInto(tab, "f-pass", "s3cret-2");
  ASSERT_TRUE(XDoTool("key Return"));
  ASSERT_TRUE(WaitForTabTitle(tab, "welcome"));
  ASSERT_TRUE(WaitForBar(tab));
  Click(tab.password_bar().save_button());
  ASSERT_TRUE(WaitForSaved(server_.Origin(), "alice@example.com", "s3cret-2"));
  EXPECT_EQ(Saved(server_.Origin()).accounts.size(), 1u) << "updated, not added";

  // Signing in again as saved asks nothing.
  Visit(tab, server_.Url("/login"), "login");
  ASSERT_TRUE(WaitForValue(tab.page().view(), "document.getElementById('f-pass').value", "s3cret-2"));
  const std::size_t taken = tab.passwords().messages_taken();
  ClickInto(tab, "f-pass");
  ASSERT_TRUE(XDoTool("key Return"));
  ASSERT_TRUE(WaitForTabTitle(tab, "welcome"));
  ASSERT_TRUE(RunUntil([&] { return tab.passwords().messages_taken() > taken; }));
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_FALSE(tab.password_bar().get_visible());
  EXPECT_TRUE(ui_host_.messages.empty());
  window_.reset();
  ExpectNoFileHolds("s3cret-");
}

TEST_F(SitePasswordsWindowKeyringTest, TwoUsernamesAreListedUnderTheFieldAndTheChosenOneFilled) {
  Save(server_.Origin(), "alice", "a-pw");
  Save(server_.Origin(), "bob", "b-pw");
  ASSERT_TRUE(OpenSignInPage());
  ui::BrowserTab& tab = Tab();
  ClickInto(tab, "f-user");
  ASSERT_TRUE(RunUntil([&] { return tab.passwords().chooser() != nullptr && tab.passwords().chooser()->get_visible(); }));
  ui::UsernameChooser& chooser = *tab.passwords().chooser();
  EXPECT_EQ(Field(tab, "f-pass"), "") << "nothing filled before a choice";
  // The list lies under the username field, inside the page.
  Gdk::Rectangle pointed;
  ASSERT_TRUE(chooser.get_pointing_to(pointed));
  const int field_top = std::stoi(Eval(tab.page().view(), "Math.round(document.getElementById('f-user').getBoundingClientRect().top)"));
  EXPECT_NEAR(pointed.get_y(), field_top, 2);
  // Typing goes on into the field while the list shows.
  ASSERT_TRUE(XDoTool("type --delay 20 x"));
  ASSERT_TRUE(WaitForValue(tab.page().view(), "document.getElementById('f-user').value", "x"));
  EXPECT_FALSE(chooser.get_visible()) << "typing put the list away";

  ASSERT_TRUE(XDoTool("key BackSpace"));
  ClickInto(tab, "f-user");
  ASSERT_TRUE(RunUntil([&] { return chooser.get_visible(); })) << "a click into the field shows it again";
  ASSERT_NE(ButtonLabelled(chooser, "alice"), nullptr);
  ASSERT_NE(ButtonLabelled(chooser, "bob"), nullptr);
  Click(*ButtonLabelled(chooser, "bob"));
  ASSERT_TRUE(WaitForValue(tab.page().view(), "document.getElementById('f-pass').value", "b-pw"));
  EXPECT_EQ(Field(tab, "f-user"), "bob");
  EXPECT_FALSE(chooser.get_visible());
}

TEST_F(SitePasswordsWindowKeyringTest, ANeverSavedSiteIsNotAskedAboutAgain) {
  ASSERT_TRUE(OpenSignInPage());
  ui::BrowserTab& tab = Tab();
  SignIn(tab, "alice", "pw-1");
  ASSERT_TRUE(WaitForBar(tab));
  Click(tab.password_bar().never_button());
  EXPECT_FALSE(tab.password_bar().get_visible());
  EXPECT_EQ(core::IniFile(home_->path() / "never-save.ini").Read("从不保存", server_.Origin()), "1");

  Visit(tab, server_.Url("/login"), "login");
  const std::size_t taken = tab.passwords().messages_taken();
  SignIn(tab, "bob", "pw-2");
  ASSERT_TRUE(RunUntil([&] { return tab.passwords().messages_taken() >= taken + 1; }));
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_FALSE(tab.password_bar().get_visible());

  EXPECT_TRUE(Saved(server_.Origin()).accounts.empty()) << "nothing is saved unasked";
}

TEST_F(SitePasswordsWindowKeyringTest, NoFillInAFrameOfAnotherSiteNorOfHttpsPasswordsOnHttpNorIntoHiddenFields) {
  SignInServer other;
  Save(server_.Origin(), "top-user", "top-pw");
  Save("https://127.0.0.1:" + std::to_string(server_.port()), "secure-user", "secure-pw");
  Save(other.Origin(), "frame-user", "frame-pw");
  Open(server_.Url("/forms?frame=" + other.Url("/framed")));
  ui::BrowserTab& tab = Tab();
  WebKitWebView* view = tab.page().view();
  ASSERT_TRUE(WaitForTabTitle(tab, "forms"));
  // One account of this very origin: filled at once. Had the https one
  // counted, there would be two and nothing filled before a choice.
  ASSERT_TRUE(WaitForValue(view, "document.getElementById('a-pass').value", "top-pw"));
  EXPECT_EQ(Field(tab, "a-user"), "top-user");
  ASSERT_TRUE(WaitForValue(view, "String(window.fromFrame)", "user=;pass=")) << "the frame loaded, empty";
  ASSERT_TRUE(WaitForValue(view, "document.getElementById('c-pass').value", "top-pw"));
  EXPECT_EQ(Field(tab, "c-user"), "") << "a hidden username field";
  EXPECT_EQ(Field(tab, "b-user"), "");
  EXPECT_EQ(Field(tab, "b-pass"), "") << "a transparent password field";
  // Asked again, the frame still holds nothing.
  Eval(view, "window.fromFrame = ''; document.getElementById('frame').contentWindow.postMessage('tell', '*'); 1");
  ASSERT_TRUE(WaitForValue(view, "String(window.fromFrame)", "user=;pass="));

  // A sign-in that goes to another site belongs to the site whose page it
  // was typed on, though the view is on its way to the other one.
  Visit(tab, server_.Url("/login-elsewhere?to=" + other.Url("/welcome")), "login");
  TypeInto(tab, "f-user", "someone");
  TypeInto(tab, "f-pass", "pw");
  ASSERT_TRUE(XDoTool("key Return"));
  ASSERT_TRUE(WaitForTabTitle(tab, "welcome"));
  ASSERT_TRUE(WaitForBar(tab));
  EXPECT_EQ(tab.passwords().offer()->origin, server_.Origin());
}

TEST_F(SitePasswordsWindowKeyringTest, APrivateViewNeitherSavesNorFills) {
  Save(server_.Origin(), "alice", "a-pw");
  Open(server_.Url("/login"));
  ui::BrowserTab& normal = Tab();
  ASSERT_TRUE(WaitForValue(normal.page().view(), "document.getElementById('f-pass').value", "a-pw"));

  // A view on a session that keeps nothing, the way a private window's
  // views are made, in a tab of its own.
  WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
  auto* parent = WEBKIT_WEB_VIEW(g_object_ref_sink(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session,
                                                                "settings", context_->engine().web_settings(),
                                                                nullptr)));
  {
    ui::BrowserTab tab(99, context_->engine(), parent, 0);
    ASSERT_TRUE(webkit_network_session_is_ephemeral(webkit_web_view_get_network_session(tab.page().view())));
    Gtk::Window window;
    window.set_default_size(600, 400);
    window.set_child(tab.widget());
    window.present();
    Visit(tab, server_.Url("/login"), "login");
    ASSERT_TRUE(RunUntil([&] { return tab.passwords().messages_taken() >= 1; })) << "the form was reported";
    ASSERT_TRUE(WaitForQuiet());
    EXPECT_EQ(Field(tab, "f-pass"), "") << "not filled";
    EXPECT_EQ(Field(tab, "f-user"), "");
    const std::size_t taken = tab.passwords().messages_taken();
    SignIn(tab, "bob", "b-pw");
    ASSERT_TRUE(RunUntil([&] { return tab.passwords().messages_taken() > taken; }));
    ASSERT_TRUE(WaitForQuiet());
    EXPECT_FALSE(tab.password_bar().get_visible()) << "not offered";
    window.unset_child();
  }
  g_object_unref(parent);
  g_object_unref(session);
  EXPECT_EQ(Saved(server_.Origin()).accounts.size(), 1u);
}

TEST_F(SitePasswordsWindowKeyringTest, APageScriptPostingLookAlikeDataReachesNothing) {
  Open(server_.Url("/lookalike"));
  ui::BrowserTab& tab = Tab();
  ASSERT_TRUE(WaitForTabTitle(tab, "lookalike"));
  ASSERT_TRUE(RunUntil([&] { return tab.passwords().messages_taken() == 1; })) << "the form was reported";
  Eval(tab.page().view(), "pretend(); 1");
  ASSERT_TRUE(WaitForTabTitle(tab, "welcome")) << "the script's submission went to the site";
  RunPending();
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_EQ(tab.passwords().messages_taken(), 1u) << "nothing but the extension's own report";
  EXPECT_FALSE(tab.password_bar().get_visible());

  // The same page with a person typing is asked about, with what was typed.
  Visit(tab, server_.Url("/lookalike"), "lookalike");
  SignIn(tab, "real-user", "real-pw");
  ASSERT_TRUE(WaitForBar(tab));
  ASSERT_TRUE(tab.passwords().offer().has_value());
  EXPECT_EQ(tab.passwords().offer()->username, "real-user");
  EXPECT_EQ(tab.passwords().offer()->password, "real-pw");
  EXPECT_TRUE(Saved(server_.Origin()).accounts.empty());
}

// What a misbehaving web process could send: messages of the extension's
// names with other shapes, oversized texts, or a site of their own.
void Deliver(WebKitWebView* view, const char* name, GVariant* parameters) {
  WebKitUserMessage* message = webkit_user_message_new(name, parameters);
  g_object_ref_sink(message);
  gboolean handled = FALSE;
  g_signal_emit_by_name(view, "user-message-received", message, &handled);
  g_object_unref(message);
}

TEST_F(SitePasswordsWindowKeyringTest, HostileFormsAndMessagesCrashNothingAndSaveNothing) {
  Open(server_.Url("/many-passwords"));
  ui::BrowserTab& tab = Tab();
  ASSERT_TRUE(WaitForTabTitle(tab, "many"));
  ASSERT_TRUE(WaitUntilShown(tab.page().widget()));
  SignIn(tab, "alice", "pw");
  RunPending();
  EXPECT_EQ(tab.passwords().messages_taken(), 0u) << "100 password fields are no sign-in form";

  Visit(tab, server_.Url("/long-username"), "long");
  ASSERT_TRUE(RunUntil([&] { return tab.passwords().messages_taken() == 1; }));
  TypeInto(tab, "f-pass", "pw");
  ASSERT_TRUE(XDoTool("key Return"));
  ASSERT_TRUE(WaitForTabTitle(tab, "welcome"));
  RunPending();
  EXPECT_EQ(tab.passwords().messages_taken(), 1u) << "a username of 100 KB is not sent";

  Visit(tab, server_.Url("/remove-on-submit"), "remove");
  TypeInto(tab, "f-user", "alice");
  TypeInto(tab, "f-pass", "pw");
  ASSERT_TRUE(XDoTool("key Return"));
  ASSERT_TRUE(WaitForTabTitle(tab, "removed"));
  ASSERT_TRUE(WaitForBar(tab)) << "the user did send it";
  EXPECT_EQ(Eval(tab.page().view(), "document.forms.length"), "0") << "the page lives on";
  Click(tab.password_bar().close_button());

  WebKitWebView* view = tab.page().view();
  const std::size_t before = tab.passwords().messages_taken();
  const std::string huge(100 * 1024, 'u');
  Deliver(view, core::kSignInSubmitted, g_variant_new("(ss)", huge.c_str(), "pw"));
  Deliver(view, core::kSignInSubmitted, g_variant_new("(sss)", "u", "pw", "https://bank.test"));
  Deliver(view, core::kSignInSubmitted, g_variant_new("(ss)", "u", ""));
  Deliver(view, core::kSignInSubmitted, nullptr);
  Deliver(view, core::kSignInFieldFocused, g_variant_new("(u(dddd))", 1u, 1e300, 0.0, 10.0, 10.0));
  Deliver(view, core::kFillSignIn, g_variant_new("(usss)", 1u, server_.Origin().c_str(), "u", "p"));
  EXPECT_EQ(tab.passwords().messages_taken(), before + 6) << "each one taken in";
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_FALSE(tab.password_bar().get_visible()) << "and dropped";
  // A well-formed one is about the page on screen, whatever site it would name.
  Deliver(view, core::kSignInSubmitted, g_variant_new("(ss)", "mallory", "pw"));
  ASSERT_TRUE(WaitForBar(tab));
  EXPECT_EQ(tab.passwords().offer()->origin, server_.Origin());
  Click(tab.password_bar().close_button());
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_TRUE(Saved(server_.Origin()).accounts.empty());
  EXPECT_TRUE(ui_host_.messages.empty());
}

TEST_F(SitePasswordsWindowKeyringTest, ALockedKeyringIsAskedToUnlockAndARefusalSavesNothingAndSaysSo) {
  Save("http://other.test", "someone", "pw");
  {
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_LOAD_COLLECTIONS, nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    GList* collections = secret_service_get_collections(service);
    ASSERT_GT(secret_service_lock_sync(service, collections, nullptr, nullptr, nullptr), 0);
    g_list_free_full(collections, g_object_unref);
    g_object_unref(service);
  }
  UnlockRequests unlocks(PrivateSessionBus::Current()->bus_address());
  ASSERT_TRUE(OpenSignInPage());
  ui::BrowserTab& tab = Tab();
  SignIn(tab, "alice", "pw");
  ASSERT_TRUE(WaitForBar(tab));
  const int asked = unlocks.count();
  Click(tab.password_bar().save_button());
  ASSERT_TRUE(RunUntil([&] { return !ui_host_.messages.empty(); }));
  EXPECT_EQ(ui_host_.messages.back(), ui::SecretStoreProblemText("密码未保存", core::SecretStoreProblem::kLocked));
  EXPECT_GT(unlocks.count(), asked) << "the desktop was asked to unlock the keyring";
  const core::SiteAccounts all = core::SecretSitePasswordStore().List({});
  ASSERT_EQ(all.accounts.size(), 1u) << "nothing saved";
  EXPECT_EQ(all.accounts[0].origin, "http://other.test");
}

TEST_F(SitePasswordsWindowKeyringTest, TheSecretServiceGoingAwayMidRunIsSurvived) {
  ASSERT_TRUE(OpenSignInPage());
  ui::BrowserTab& tab = Tab();
  SignIn(tab, "alice", "pw-1");
  ASSERT_TRUE(WaitForBar(tab));
  PrivateSessionBus::Current()->StopKeyring();
  Click(tab.password_bar().save_button());
  ASSERT_TRUE(RunUntil([&] { return !ui_host_.messages.empty(); }));
  EXPECT_EQ(ui_host_.messages.back(),
            ui::SecretStoreProblemText("密码未保存", core::SecretStoreProblem::kUnavailable));

  PrivateSessionBus::Current()->StartKeyring();
  Visit(tab, server_.Url("/login"), "login");
  SignIn(tab, "alice", "pw-3");
  ASSERT_TRUE(WaitForBar(tab));
  Click(tab.password_bar().save_button());
  ASSERT_TRUE(WaitForSaved(server_.Origin(), "alice", "pw-3"));
}

TEST_F(SitePasswordsWindowTest, WithoutASecretStoreNothingIsOfferedAndTheSettingsSayWhy) {
  ASSERT_TRUE(OpenSignInPage());
  ui::BrowserTab& tab = Tab();
  SignIn(tab, "alice", "no-store-secret-7");
  ASSERT_TRUE(RunUntil([&] { return tab.passwords().messages_taken() >= 2; }));
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_FALSE(tab.password_bar().get_visible());
  ExpectNoFileHolds("no-store-secret-7");

  window_->activate_action("win.settings");
  ASSERT_FALSE(ui_host_.modals.empty());
  auto& section = Named<ui::PasswordsSettingsSection>(*ui_host_.modals.back(), "password-settings");
  ASSERT_TRUE(RunUntil([&] { return section.status_label().get_visible(); }));
  EXPECT_EQ(section.status_label().get_text(), ui::kNoSecretStoreText);
  EXPECT_FALSE(section.delete_all_button().get_sensitive());
  EXPECT_FALSE(section.search_entry().get_sensitive());
  EXPECT_EQ(section.search_entry().property_placeholder_text().get_value(), "搜索网站或用户名");
  EXPECT_TRUE(ui_host_.messages.empty());
  // The restore list is written as the window closes.
  window_.reset();
  ExpectNoFileHolds("no-store-secret-7");
}

TEST_F(SitePasswordsWindowKeyringTest, TheSettingsListSearchShowCopyAndDeletePasswords) {
  Save("https://a.test", "alice", "a-pw");
  Save("https://a.test", "bob", "b-pw");
  Save("https://b.test:8443", "carol", "c-pw");
  ASSERT_TRUE(core::NeverSaveList(home_->path() / "never-save.ini").Add("https://never.test").ok());
  Open(server_.Url("/login"));
  window_->activate_action("win.settings");
  ASSERT_FALSE(ui_host_.modals.empty());
  Gtk::Window& settings = *ui_host_.modals.back();
  settings.present();
  auto& section = Named<ui::PasswordsSettingsSection>(settings, "password-settings");
  ASSERT_TRUE(RunUntil([&] { return section.AccountCount() == 3; }));
  EXPECT_FALSE(section.status_label().get_visible());
  auto rows = [&] {
    std::vector<Gtk::ListBoxRow*> shown;
    for (int i = 0; Gtk::ListBoxRow* row = section.account_list().get_row_at_index(i); ++i) {
      if (row->get_child_visible()) shown.push_back(row);
    }
    return shown;
  };
  section.search_entry().set_text("BOB");
  ASSERT_TRUE(RunUntil([&] { return rows().size() == 1; })) << "the search finds usernames, in any case";
  section.search_entry().set_text("8443");
  ASSERT_TRUE(RunUntil([&] { return rows().size() == 1; })) << "and sites";
  Gtk::ListBoxRow& carol = *rows().front();
  auto& password = Named<Gtk::Label>(carol, "password-text");
  EXPECT_NE(password.get_text(), "c-pw");
  Click(Named<Gtk::Button>(carol, "show-password"));
  ASSERT_TRUE(RunUntil([&] { return password.get_text() == "c-pw"; }));
  ASSERT_EQ(ui_host_.messages.size(), 1u) << "asked first";
  EXPECT_NE(ui_host_.messages[0].find("carol"), std::string::npos);

  Click(Named<Gtk::Button>(carol, "copy-password"));
  // The clipboard is this process's own: its text is the password.
  ASSERT_TRUE(RunUntil([&] {
    const auto content = settings.get_clipboard()->get_content();
    Glib::Value<Glib::ustring> text;
    text.init(Glib::Value<Glib::ustring>::value_type());
    if (!content) return false;
    try {
      content->get_value(text);
    } catch (const Glib::Error&) {
      return false;
    }
    return text.get().raw() == "c-pw";
  }));

  Click(Named<Gtk::Button>(carol, "delete-password"));
  section.search_entry().set_text("");
  ASSERT_TRUE(RunUntil([&] { return section.AccountCount() == 2; }));
  EXPECT_TRUE(Saved("https://b.test:8443").accounts.empty());

  Click(section.delete_all_button());
  ASSERT_TRUE(RunUntil([&] { return section.AccountCount() == 0; }));
  EXPECT_TRUE(core::SecretSitePasswordStore().List({}).accounts.empty());
  EXPECT_FALSE(section.delete_all_button().get_sensitive());

  ASSERT_NE(section.never_list().get_row_at_index(0), nullptr);
  Click(Named<Gtk::Button>(section.never_list(), "delete-never-save"));
  EXPECT_EQ(section.never_list().get_row_at_index(0), nullptr);
  EXPECT_FALSE(core::NeverSaveList(home_->path() / "never-save.ini").Contains("https://never.test"));
}

}  // namespace
}  // namespace nuve::test
