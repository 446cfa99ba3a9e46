#include "core/account/secret_password_store.h"

#include <libsecret/secret.h>

#include "core/app/log.h"
#include "core/util/secret_service.h"

namespace nuve::core {
namespace {


// Logs a failure once per kind of call; the caller falls back to login.ini.
bool Failed(GError* error, const char* what) {
  if (error == nullptr) return false;
  LogWarning("secret store", std::string(what) + ": " + error->message);
  g_error_free(error);
  return true;
}

}  // namespace

SecretPasswordStore::SecretPasswordStore()
    : SecretPasswordStore("org.nuve.Browser.RememberedPassword", "login-ini", "NUVE浏览器 记住的密码") {}

SecretPasswordStore::SecretPasswordStore(std::string schema_name, std::string key_attribute, std::string label)
    : schema_name_(std::move(schema_name)), key_attribute_(std::move(key_attribute)), label_(std::move(label)) {
  schema_.name = schema_name_.c_str();
  schema_.flags = SECRET_SCHEMA_NONE;
  schema_.attributes[0] = {key_attribute_.c_str(), SECRET_SCHEMA_ATTRIBUTE_STRING};
  schema_.attributes[1] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
}

std::optional<std::string> SecretPasswordStore::Lookup(const std::string& key, std::stop_token stop) {
  if (!SessionBusConfigured()) return std::nullopt;
  StopCancellation cancellation(std::move(stop));
  GError* error = nullptr;
  gchar* password =
      secret_password_lookup_sync(&schema_, cancellation.get(), &error, key_attribute_.c_str(), key.c_str(), nullptr);
  if (Failed(error, "lookup")) return std::nullopt;
  std::string out = password != nullptr ? password : "";
  secret_password_free(password);
  return out;
}

bool SecretPasswordStore::Store(const std::string& key, const std::string& account, const std::string& password,
                                std::stop_token stop) {
  if (!SessionBusConfigured()) return false;
  StopCancellation cancellation(std::move(stop));
  GError* error = nullptr;
  const std::string label = label_ + "（帐号 " + account + "）";
  const gboolean ok = secret_password_store_sync(&schema_, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                 password.c_str(), cancellation.get(), &error, key_attribute_.c_str(),
                                                 key.c_str(), nullptr);
  return !Failed(error, "store") && ok;
}

bool SecretPasswordStore::Clear(const std::string& key, std::stop_token stop) {
  if (!SessionBusConfigured()) return false;
  StopCancellation cancellation(std::move(stop));
  GError* error = nullptr;
  // False without an error only means nothing was kept.
  secret_password_clear_sync(&schema_, cancellation.get(), &error, key_attribute_.c_str(), key.c_str(), nullptr);
  return !Failed(error, "clear");
}

}  // namespace nuve::core
