#include "core/session/session_list.h"

#include <glib.h>

#include <algorithm>
#include <memory>

namespace nuve::core {
namespace {

constexpr char kHead[] = "session";
constexpr char kTabPrefix[] = "tab";

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_free)>;

std::string ReadString(GKeyFile* file, const std::string& group, const char* key) {
  gchar* value = g_key_file_get_string(file, group.c_str(), key, nullptr);
  std::string result = value != nullptr ? value : "";
  g_free(value);
  return result;
}

// Window 0 keeps the groups of a one-window file ("session", "tab0", …);
// window n > 0 has "session<n>", "window<n>-tab0", ….
std::string HeadGroup(size_t window) { return window == 0 ? kHead : kHead + std::to_string(window); }
std::string TabGroup(size_t window, size_t tab) {
  return (window == 0 ? std::string() : "window" + std::to_string(window) + "-") + kTabPrefix + std::to_string(tab);
}

void WriteList(GKeyFile* file, size_t window, const SessionList& list) {
  const std::string head = HeadGroup(window);
  g_key_file_set_integer(file, head.c_str(), "count", static_cast<gint>(list.tabs.size()));
  g_key_file_set_integer(file, head.c_str(), "current", list.current);
  for (size_t i = 0; i < list.tabs.size(); ++i) {
    const std::string group = TabGroup(window, i);
    const SessionTab& tab = list.tabs[i];
    g_key_file_set_string(file, group.c_str(), "uri", tab.uri.c_str());
    g_key_file_set_string(file, group.c_str(), "title", tab.title.c_str());
    gchar* state = g_base64_encode(reinterpret_cast<const guchar*>(tab.state.data()), tab.state.size());
    g_key_file_set_string(file, group.c_str(), "state", state);
    g_free(state);
  }
}

SessionList ReadList(GKeyFile* file, size_t window, std::string& problem) {
  SessionList list;
  const std::string head = HeadGroup(window);
  const gint count = g_key_file_get_integer(file, head.c_str(), "count", nullptr);
  for (gint i = 0; i < count && i < 1000; ++i) {
    const std::string group = TabGroup(window, static_cast<size_t>(i));
    SessionTab tab;
    tab.uri = ReadString(file, group, "uri");
    if (tab.uri.empty()) {
      problem = "tab " + std::to_string(i) + " of " + std::to_string(count) + " is missing";
      continue;
    }
    tab.title = ReadString(file, group, "title");
    const std::string state = ReadString(file, group, "state");
    gsize length = 0;
    guchar* bytes = g_base64_decode(state.c_str(), &length);
    tab.state.assign(reinterpret_cast<const char*>(bytes), length);
    g_free(bytes);
    list.tabs.push_back(std::move(tab));
  }
  list.current = g_key_file_get_integer(file, head.c_str(), "current", nullptr);
  if (list.current < 0 || list.current >= static_cast<int>(list.tabs.size())) list.current = 0;
  return list;
}

// Loads `text`, or what stands before a last line cut short; false for garbage.
bool LoadText(GKeyFile* file, const std::string& text, std::string& problem) {
  GError* error = nullptr;
  if (g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_NONE, &error)) return true;
  problem = std::string("unreadable: ") + error->message;
  g_clear_error(&error);
  const auto last_line = text.rfind('\n');
  if (last_line == std::string::npos ||
      !g_key_file_load_from_data(file, text.data(), last_line + 1, G_KEY_FILE_NONE, &error)) {
    g_clear_error(&error);
    return false;
  }
  return true;
}

std::string ToText(GKeyFile* file) {
  gsize length = 0;
  gchar* data = g_key_file_to_data(file, &length, nullptr);
  std::string text(data, length);
  g_free(data);
  return text;
}

}  // namespace

std::string SerializeSession(const SessionList& list) { return SerializeSessions({list}); }

std::string SerializeSessions(const std::vector<SessionList>& windows) {
  KeyFile file(g_key_file_new(), g_key_file_free);
  if (windows.empty()) WriteList(file.get(), 0, SessionList{});
  for (size_t w = 0; w < windows.size(); ++w) WriteList(file.get(), w, windows[w]);
  if (windows.size() > 1) g_key_file_set_integer(file.get(), kHead, "windows", static_cast<gint>(windows.size()));
  return ToText(file.get());
}

std::vector<SessionList> ParseSessions(const std::string& text, std::string& problem) {
  problem.clear();
  std::vector<SessionList> windows;
  KeyFile file(g_key_file_new(), g_key_file_free);
  if (!LoadText(file.get(), text, problem)) return windows;
  // A file of one window has no count of windows.
  const gint count = std::max<gint>(1, g_key_file_get_integer(file.get(), kHead, "windows", nullptr));
  for (gint w = 0; w < count && w < 100; ++w) {
    SessionList list = ReadList(file.get(), static_cast<size_t>(w), problem);
    if (!list.tabs.empty()) windows.push_back(std::move(list));
  }
  if (windows.empty() && problem.empty() && !text.empty()) problem = "no tabs";
  return windows;
}

SessionList ParseSession(const std::string& text, std::string& problem) {
  std::vector<SessionList> windows = ParseSessions(text, problem);
  return windows.empty() ? SessionList{} : std::move(windows.front());
}

}  // namespace nuve::core
