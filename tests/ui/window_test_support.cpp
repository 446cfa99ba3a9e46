#include "window_test_support.h"

#include "support/test_environment.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>

namespace nuve::test {

bool RunUntil(const std::function<bool()>& done, int ms) {
  auto context = Glib::MainContext::get_default();
  // A steady tick guarantees wake-ups: iteration(true) blocks until a source fires.
  auto tick = Glib::signal_timeout().connect([] { return true; }, 20);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  bool ok = done();
  while (!ok && std::chrono::steady_clock::now() < end) {
    context->iteration(true);
    ok = done();
  }
  tick.disconnect();
  return ok;
}

void RunPending() {
  auto context = Glib::MainContext::get_default();
  // Bounded: a source that keeps itself ready must not hold the test.
  for (int i = 0; i < 1000 && context->pending(); ++i) context->iteration(false);
}

bool WaitUntilShown(Gtk::Widget& widget, int ms) {
  auto shown = [&] {
    auto* native = widget.get_native();
    return widget.get_mapped() && widget.get_width() > 0 && widget.get_height() > 0 && native != nullptr &&
           native->get_surface() && native->get_surface()->get_mapped();
  };
  if (!RunUntil(shown, ms)) return false;
  // Two frames after mapping: the first may be drawn before the X server has
  // placed the window.
  int frames = 0;
  const guint id = widget.add_tick_callback([&frames](const Glib::RefPtr<Gdk::FrameClock>&) {
    ++frames;
    return frames < 2;
  });
  const bool painted = RunUntil([&] { return frames >= 2; }, ms);
  if (!painted) widget.remove_tick_callback(id);
  return painted;
}

void LetDoubleClickTimePass() {
  const int double_click_ms = Gtk::Settings::get_default()->property_gtk_double_click_time().get_value();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(double_click_ms + 100);
  RunUntil([&] { return std::chrono::steady_clock::now() >= end; }, double_click_ms + 200);
}

void RunScript(WebKitWebView* view, const std::string& script) {
  bool finished = false;
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      +[](GObject* object, GAsyncResult* result, gpointer data) {
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, nullptr);
        if (value != nullptr) g_object_unref(value);
        *static_cast<bool*>(data) = true;
      },
      &finished);
  RunUntil([&] { return finished; }, 10000);
}

std::string EvaluateScript(WebKitWebView* view, const std::string& script, int ms) {
  // The answer lives as long as the engine may still give it.
  using Answer = std::shared_ptr<std::optional<std::string>>;
  Answer text = std::make_shared<std::optional<std::string>>();
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      +[](GObject* object, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Answer> out(static_cast<Answer*>(data));
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, nullptr);
        char* s = value != nullptr ? jsc_value_to_string(value) : nullptr;
        **out = s != nullptr ? s : "";
        g_free(s);
        if (value != nullptr) g_object_unref(value);
      },
      new Answer(text));
  RunUntil([&] { return text->has_value(); }, ms);
  return text->value_or("");
}

std::string ClipboardText(Gtk::Widget& widget) {
  auto clipboard = widget.get_clipboard();
  auto text = std::make_shared<std::optional<std::string>>();
  clipboard->read_text_async([clipboard, text](Glib::RefPtr<Gio::AsyncResult>& result) {
    try {
      *text = clipboard->read_text_finish(result).raw();
    } catch (const Glib::Error& e) {
      *text = "<" + std::string(e.what()) + ">";
    }
  });
  RunUntil([&] { return text->has_value(); }, 5000);
  return text->value_or("<nothing>");
}

void MainWindowTest::SetUp() {
  home_ = std::make_unique<TempHome>();
  pages_ = std::make_unique<PageServer>();
  SetEnv("NUVE_VERSION_SOURCE", "http://127.0.0.1:9");
  SetEnv("NUVE_SERVICE_HOST", "127.0.0.1:9");
  SetEnv("NUVE_PORTAL_A", "127.0.0.1:" + std::to_string(pages_->port()) + "/title/portal");
  // Downloads land in the test's own home, never in the user's folder.
  SetEnv("NUVE_DOWNLOAD_DIR", (home_->path() / "下载").string());
}

void MainWindowTest::TearDown() {
  window_.reset();
  // Modal windows go before the context they use.
  ui_host_.modals.clear();
  context_.reset();
  RunPending();
  // Latest first, so a variable set twice gets its first value back.
  for (auto it = set_env_.rbegin(); it != set_env_.rend(); ++it) RestoreTestEnvironment(it->first.c_str(), it->second);
  set_env_.clear();
  pages_.reset();
  home_.reset();
}

void MainWindowTest::SetEnv(const char* name, const std::string& value) {
  set_env_.emplace_back(name, TestEnvironment(name));
  SetTestEnvironment(name, value);
}

void MainWindowTest::ClearEnv(const char* name) {
  set_env_.emplace_back(name, TestEnvironment(name));
  ClearTestEnvironment(name);
}

ui::MainWindow& MainWindowTest::Open(const core::StartRequest& start) {
  // A second start in one test: the windows of the first go before its context.
  window_.reset();
  ui_host_.modals.clear();
  context_.reset();
  context_ = std::make_unique<ui::AppContext>(core::Config::FromEnvironment(), ui_host_);
  window_ = std::make_unique<ui::MainWindow>(*context_, start);
  window_->present();
  return *window_;
}

ui::MainWindow& MainWindowTest::Open(const std::string& address) {
  core::StartRequest start;
  start.address = address;
  return Open(start);
}

bool MainWindowTest::WaitForQuiet(int ms) {
  const bool quiet = RunUntil([&] { return context_->tasks().BusyCount() == 0; }, ms);
  RunPending();
  return quiet;
}

bool MainWindowTest::WaitForTitle(const std::string& window_title, int ms) {
  return RunUntil([&] { return std::string(window_->get_title()) == window_title; }, ms);
}

bool MainWindowTest::WaitForStartUp(const std::string& window_title, int ms) {
  return WaitForTitle(window_title, ms) && RunUntil([&] { return window_->started_up(); }, ms);
}

bool MainWindowTest::WaitForTabTitle(ui::BrowserTab& tab, const std::string& title, int ms) {
  return RunUntil([&] { return tab.page().Title() == title; }, ms);
}

}  // namespace nuve::test

namespace nuve::test {

bool ScreenCentre(Gtk::Widget& widget, int& x, int& y) {
  return ScreenPoint(widget, widget.get_width() / 2.0, widget.get_height() / 2.0, x, y);
}

bool ScreenPoint(Gtk::Widget& widget, double dx, double dy, int& x, int& y) {
  auto* native = widget.get_native();
  if (native == nullptr) return false;
  double sx = 0;
  double sy = 0;
  gtk_native_get_surface_transform(native->gobj(), &sx, &sy);
  double wx = 0;
  double wy = 0;
  auto& window_widget = dynamic_cast<Gtk::Widget&>(*native);
  if (!widget.translate_coordinates(window_widget, dx, dy, wx, wy)) {
    return false;
  }
  x = static_cast<int>(wx + sx);
  y = static_cast<int>(wy + sy);
  return true;
}

bool XDoTool(const std::string& arguments) {
  return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

bool PointerAt(Gtk::Widget& widget, double dx, double dy, const std::string& action) {
  int x = 0;
  int y = 0;
  if (!ScreenPoint(widget, dx, dy, x, y)) return false;
  return XDoTool("mousemove " + std::to_string(x) + " " + std::to_string(y) + (action.empty() ? "" : " " + action));
}

bool PointerAtCentre(Gtk::Widget& widget, const std::string& action) {
  return PointerAt(widget, widget.get_width() / 2.0, widget.get_height() / 2.0, action);
}

}  // namespace nuve::test

namespace nuve::test {

void Click(Gtk::Button& button) { g_signal_emit_by_name(button.gobj(), "clicked"); }

Gtk::Widget* FindNamed(Gtk::Widget& root, const std::string& name) {
  if (root.get_name().raw() == name) return &root;
  for (Gtk::Widget* child = root.get_first_child(); child != nullptr; child = child->get_next_sibling()) {
    if (Gtk::Widget* found = FindNamed(*child, name)) return found;
  }
  return nullptr;
}

}  // namespace nuve::test
