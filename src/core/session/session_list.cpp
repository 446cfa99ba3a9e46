#include "core/session/session_list.h"

#include <glib.h>

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

}  // namespace

std::string SerializeSession(const SessionList& list) {
  KeyFile file(g_key_file_new(), g_key_file_free);
  g_key_file_set_integer(file.get(), kHead, "count", static_cast<gint>(list.tabs.size()));
  g_key_file_set_integer(file.get(), kHead, "current", list.current);
  for (size_t i = 0; i < list.tabs.size(); ++i) {
    const std::string group = kTabPrefix + std::to_string(i);
    const SessionTab& tab = list.tabs[i];
    g_key_file_set_string(file.get(), group.c_str(), "uri", tab.uri.c_str());
    g_key_file_set_string(file.get(), group.c_str(), "title", tab.title.c_str());
    gchar* state = g_base64_encode(reinterpret_cast<const guchar*>(tab.state.data()), tab.state.size());
    g_key_file_set_string(file.get(), group.c_str(), "state", state);
    g_free(state);
  }
  gsize length = 0;
  gchar* data = g_key_file_to_data(file.get(), &length, nullptr);
  std::string text(data, length);
  g_free(data);
  return text;
}

SessionList ParseSession(const std::string& text, std::string& problem) {
  problem.clear();
  SessionList list;
  KeyFile file(g_key_file_new(), g_key_file_free);
  GError* error = nullptr;
  if (!g_key_file_load_from_data(file.get(), text.data(), text.size(), G_KEY_FILE_NONE, &error)) {
    problem = std::string("unreadable: ") + error->message;
    g_clear_error(&error);
    // A file cut short ends in half a line: what stands before it may still be read.
    const auto last_line = text.rfind('\n');
    if (last_line == std::string::npos ||
        !g_key_file_load_from_data(file.get(), text.data(), last_line + 1, G_KEY_FILE_NONE, &error)) {
      g_clear_error(&error);
      return list;
    }
  }
  const gint count = g_key_file_get_integer(file.get(), kHead, "count", nullptr);
  for (gint i = 0; i < count && i < 1000; ++i) {
    const std::string group = kTabPrefix + std::to_string(i);
    SessionTab tab;
    tab.uri = ReadString(file.get(), group, "uri");
    if (tab.uri.empty()) {
      problem = "tab " + std::to_string(i) + " of " + std::to_string(count) + " is missing";
      continue;
    }
    tab.title = ReadString(file.get(), group, "title");
    const std::string state = ReadString(file.get(), group, "state");
    gsize length = 0;
    guchar* bytes = g_base64_decode(state.c_str(), &length);
    tab.state.assign(reinterpret_cast<const char*>(bytes), length);
    g_free(bytes);
    list.tabs.push_back(std::move(tab));
  }
  if (count <= 0 && problem.empty() && !text.empty()) problem = "no tabs";
  list.current = g_key_file_get_integer(file.get(), kHead, "current", nullptr);
  if (list.current < 0 || list.current >= static_cast<int>(list.tabs.size())) list.current = 0;
  return list;
}

}  // namespace nuve::core
