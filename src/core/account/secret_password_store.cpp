#include "core/account/secret_password_store.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "core/app/log.h"

namespace nuve::core {
namespace {

constexpr char kKeyAttribute[] = "login-ini";

const SecretSchema* Schema() {
  static const SecretSchema schema = {"org.nuve.Browser.RememberedPassword",
                                      SECRET_SCHEMA_NONE,
                                      {{kKeyAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                      0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &schema;
}

// A GCancellable that a stop request on `stop` cancels, from any thread.
class Cancellation {
 public:
  explicit Cancellation(std::stop_token stop)
      : cancellable_(g_cancellable_new()),
        on_stop_(std::move(stop), [c = cancellable_.get()] { g_cancellable_cancel(c); }) {}
  GCancellable* get() const { return cancellable_.get(); }

 private:
  struct Unref {
    void operator()(GCancellable* c) const { g_object_unref(c); }
  };
  // Declared before the stop callback that uses it, so it goes after it.
  std::unique_ptr<GCancellable, Unref> cancellable_;
  std::stop_callback<std::function<void()>> on_stop_;
};

// Whether the session names a bus. Without one GLib would start a bus of
// its own (dbus-launch), which can hang and would hold no unlocked keyring
// anyway: that counts as no secret store.
bool SessionBusConfigured() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') return false;
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(runtime) / "bus", ec);
}

// Logs a failure once per kind of call; the caller falls back to login.ini.
bool Failed(GError* error, const char* what) {
  if (error == nullptr) return false;
  LogWarning("secret store", std::string(what) + ": " + error->message);
  g_error_free(error);
  return true;
}

}  // namespace

std::optional<std::string> SecretPasswordStore::Lookup(const std::string& key, std::stop_token stop) {
  if (!SessionBusConfigured()) return std::nullopt;
  Cancellation cancellation(std::move(stop));
  GError* error = nullptr;
  gchar* password =
      secret_password_lookup_sync(Schema(), cancellation.get(), &error, kKeyAttribute, key.c_str(), nullptr);
  if (Failed(error, "lookup")) return std::nullopt;
  std::string out = password != nullptr ? password : "";
  secret_password_free(password);
  return out;
}

bool SecretPasswordStore::Store(const std::string& key, const std::string& account, const std::string& password,
                                std::stop_token stop) {
  if (!SessionBusConfigured()) return false;
  Cancellation cancellation(std::move(stop));
  GError* error = nullptr;
  const std::string label = "NUVE浏览器 记住的密码（帐号 " + account + "）";
  const gboolean ok = secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                 password.c_str(), cancellation.get(), &error, kKeyAttribute,
                                                 key.c_str(), nullptr);
  return !Failed(error, "store") && ok;
}

bool SecretPasswordStore::Clear(const std::string& key, std::stop_token stop) {
  if (!SessionBusConfigured()) return false;
  Cancellation cancellation(std::move(stop));
  GError* error = nullptr;
  // False without an error only means nothing was kept.
  secret_password_clear_sync(Schema(), cancellation.get(), &error, kKeyAttribute, key.c_str(), nullptr);
  return !Failed(error, "clear");
}

}  // namespace nuve::core
