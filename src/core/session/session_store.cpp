#include "core/session/session_store.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <exception>
#include <system_error>

#include "core/app/log.h"

namespace nuve::core {
namespace {
constexpr char kWhere[] = "session";
}  // namespace

SessionStore::SessionStore(std::filesystem::path file) : file_(std::move(file)) {
  worker_ = std::thread([this] { Run(); });
}

SessionStore::~SessionStore() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

SessionList SessionStore::Load() const {
  std::vector<SessionList> windows = LoadWindows();
  return windows.empty() ? SessionList{} : std::move(windows.front());
}

std::vector<SessionList> SessionStore::LoadWindows() const {
  gchar* data = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  if (!g_file_get_contents(file_.c_str(), &data, &length, &error)) {
    if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT)) LogWarning(kWhere, error->message);
    g_error_free(error);
    return {};
  }
  const std::string text(data, length);
  g_free(data);
  std::string problem;
  std::vector<SessionList> windows = ParseSessions(text, problem);
  if (!problem.empty()) {
    size_t tabs = 0;
    for (const SessionList& list : windows) tabs += list.tabs.size();
    LogWarning(kWhere, file_.string() + " is damaged (" + problem + "); " + std::to_string(tabs) +
                           " tabs can be reopened");
  }
  return windows;
}

void SessionStore::Save(SessionList list) { SaveWindows({std::move(list)}); }

void SessionStore::SaveWindows(std::vector<SessionList> list) {
  {
    std::lock_guard lock(mutex_);
    pending_ = std::move(list);
    remove_ = false;
  }
  wake_.notify_one();
}

void SessionStore::Remove() {
  {
    std::lock_guard lock(mutex_);
    pending_.reset();
    remove_ = true;
  }
  wake_.notify_one();
}

void SessionStore::Flush() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !busy_ && !pending_ && !remove_; });
}

void SessionStore::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || pending_ || remove_; });
    if (!pending_ && !remove_) break;  // stopping with nothing left to write
    std::optional<std::vector<SessionList>> list = std::move(pending_);
    pending_.reset();
    const bool remove = remove_;
    remove_ = false;
    busy_ = true;
    lock.unlock();
    try {
      if (list) {
        Write(*list);
      } else if (remove) {
        std::error_code ec;
        std::filesystem::remove(file_, ec);
      }
    } catch (const std::exception& e) {
      // A write that fails this way is lost; the worker goes on.
      LogError(kWhere, e.what());
    }
    lock.lock();
    busy_ = false;
    idle_.notify_all();
  }
}

void SessionStore::Write(const std::vector<SessionList>& windows) {
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  const std::string text = SerializeSessions(windows);
  GError* error = nullptr;
  // The list names the pages the user had open: readable by the owner only.
  if (!g_file_set_contents_full(file_.c_str(), text.data(), static_cast<gssize>(text.size()),
                                G_FILE_SET_CONTENTS_CONSISTENT, 0600, &error)) {
    LogWarning(kWhere, std::string("the open tabs could not be saved: ") + error->message);
    g_error_free(error);
  }
}

}  // namespace nuve::core
