// The floor of the start-up benchmark: the least a gtkmm 4 program on
// WebKitGTK 6.0 must do to show a page. One Gtk::Application, one window, one
// web view that loads the address from the command line, and the window title
// follows the page title. Nothing else: no settings, no profile of its own, no
// extra widgets.
//
// With --zh the window also shows one Chinese label above the view. A Chinese
// interface makes GTK map a CJK font (and Pango its fallback table) that the
// bare floor never loads; that variant is the floor for a Chinese interface.
//
// run.sh compiles this itself:
//   g++ -O2 -std=c++20 floor.cpp -o floor $(pkg-config --cflags --libs gtkmm-4.0 webkitgtk-6.0)
//
// Usage: floor [--zh] URL

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

class FloorWindow : public Gtk::Window {
public:
    FloorWindow(const std::string& url, bool with_label)
        : box_(Gtk::Orientation::VERTICAL)
    {
        set_default_size(1024, 768);
        if (with_label) {
            label_ = std::make_unique<Gtk::Label>("中文标签");
            box_.append(*label_);
        }
        GtkWidget* view = webkit_web_view_new();
        Gtk::Widget* wrapped = Gtk::manage(Glib::wrap(view));
        wrapped->set_expand(true);
        box_.append(*wrapped);
        set_child(box_);
        g_signal_connect(view, "notify::title", G_CALLBACK(&FloorWindow::on_title), this);
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), url.c_str());
    }

private:
    static void on_title(WebKitWebView* view, GParamSpec*, gpointer self)
    {
        const char* title = webkit_web_view_get_title(view);
        static_cast<FloorWindow*>(self)->set_title(title ? title : "");
    }

    Gtk::Box box_;
    std::unique_ptr<Gtk::Label> label_;
};

}  // namespace

int main(int argc, char** argv)
{
    bool zh = false;
    const char* url = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--zh") == 0) {
            zh = true;
        } else if (argv[i][0] == '-' || url) {
            std::fprintf(stderr, "usage: %s [--zh] URL\n", argv[0]);
            return 2;
        } else {
            url = argv[i];
        }
    }
    if (!url) {
        std::fprintf(stderr, "usage: %s [--zh] URL\n", argv[0]);
        return 2;
    }

    // The address is ours to handle, not GApplication's: it gets no arguments.
    auto app = Gtk::Application::create("", Gio::Application::Flags::NON_UNIQUE);
    std::unique_ptr<FloorWindow> window;
    app->signal_activate().connect([&] {
        window = std::make_unique<FloorWindow>(url, zh);
        app->add_window(*window);
        window->present();
    });
    char* no_args[] = {argv[0], nullptr};
    return app->run(1, no_args);
}
