#include "core/passwords/secret_site_password_store.h"

#include <libsecret/secret.h>

#include <algorithm>
#include <functional>

#include "core/app/log.h"
#include "core/util/secret_service.h"

namespace nuve::core {
namespace {

constexpr char kOrigin[] = "origin";
constexpr char kUsername[] = "username";

const SecretSchema* Schema() {
  static const SecretSchema schema = {"org.nuve.Browser.SitePassword",
                                      SECRET_SCHEMA_NONE,
                                      {{kOrigin, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {kUsername, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                      0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &schema;
}

// What a failed call means for the caller; the error is logged and freed.
// When the bus or the service answers no more (the keyring daemon ended),
// libsecret's shared connection to it is dropped, so that the next call
// finds a service that has started again.
SecretStoreProblem Problem(GError* error, const char* what) {
  if (error == nullptr) return SecretStoreProblem::kNone;
  SecretStoreProblem problem = SecretStoreProblem::kFailed;
  if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) {
    problem = SecretStoreProblem::kLocked;
  } else if (error->domain == G_DBUS_ERROR ||
             (error->domain == G_IO_ERROR && error->code != G_IO_ERROR_CANCELLED)) {
    problem = SecretStoreProblem::kUnavailable;
    secret_service_disconnect();
  }
  LogWarning("site passwords", std::string(what) + ": " + error->message);
  g_error_free(error);
  return problem;
}

std::string Attribute(GHashTable* attributes, const char* name) {
  const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, name));
  return value != nullptr ? value : "";
}

// Asks the desktop to unlock the default collection (its own prompt).
// True when it is unlocked now.
bool UnlockDefaultCollection(GCancellable* cancellable) {
  GError* error = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, cancellable, &error);
  if (service == nullptr) {
    Problem(error, "unlock");
    return false;
  }
  SecretCollection* collection =
      secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, &error);
  bool unlocked = false;
  if (collection != nullptr) {
    GList* objects = g_list_append(nullptr, collection);
    // Fewer than one unlocked: the user dismissed the prompt.
    unlocked = secret_service_unlock_sync(service, objects, cancellable, nullptr, &error) > 0;
    g_list_free(objects);
    g_object_unref(collection);
  }
  Problem(error, "unlock");
  g_object_unref(service);
  return unlocked;
}

// Runs `call`; when the keyring turns out to be locked, asks once to unlock
// it and runs `call` again.
SecretStoreProblem WithUnlock(GCancellable* cancellable, const std::function<SecretStoreProblem()>& call) {
  SecretStoreProblem problem = call();
  if (problem == SecretStoreProblem::kLocked && UnlockDefaultCollection(cancellable)) problem = call();
  return problem;
}

// Reads the items of a search; `with_secrets` reads each password as well.
SiteAccounts ReadItems(GList* items, bool with_secrets, GCancellable* cancellable) {
  SiteAccounts result;
  for (GList* i = items; i != nullptr; i = i->next) {
    auto* item = static_cast<SecretRetrievable*>(i->data);
    GHashTable* attributes = secret_retrievable_get_attributes(item);
    SiteAccount account{Attribute(attributes, kOrigin), Attribute(attributes, kUsername), {}};
    g_hash_table_unref(attributes);
    if (with_secrets) {
      GError* error = nullptr;
      SecretValue* value = secret_retrievable_retrieve_secret_sync(item, cancellable, &error);
      if (value != nullptr) {
        const gchar* text = secret_value_get_text(value);
        if (text != nullptr) account.password = text;
        secret_value_unref(value);
      }
      const SecretStoreProblem problem = Problem(error, "read a password");
      if (problem != SecretStoreProblem::kNone) result.problem = problem;
    }
    result.accounts.push_back(std::move(account));
  }
  std::sort(result.accounts.begin(), result.accounts.end(), [](const SiteAccount& a, const SiteAccount& b) {
    return a.origin != b.origin ? a.origin < b.origin : a.username < b.username;
  });
  return result;
}

SiteAccounts Search(GHashTable* attributes, SecretSearchFlags flags, GCancellable* cancellable) {
  GError* error = nullptr;
  GList* items = secret_password_searchv_sync(Schema(), attributes, flags, cancellable, &error);
  SiteAccounts result;
  if (const SecretStoreProblem problem = Problem(error, "search"); problem != SecretStoreProblem::kNone) {
    result.problem = problem;
  } else {
    result = ReadItems(items, (flags & SECRET_SEARCH_LOAD_SECRETS) != 0, cancellable);
  }
  g_list_free_full(items, g_object_unref);
  return result;
}

GHashTable* NewAttributes() { return g_hash_table_new(g_str_hash, g_str_equal); }

}  // namespace

SiteAccounts SecretSitePasswordStore::Find(const std::string& origin, UnlockPolicy unlock, std::stop_token stop) {
  if (!SessionBusConfigured()) return {SecretStoreProblem::kUnavailable, {}};
  StopCancellation cancellation(std::move(stop));
  GHashTable* attributes = NewAttributes();
  g_hash_table_insert(attributes, const_cast<char*>(kOrigin), const_cast<char*>(origin.c_str()));
  int flags = SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS;
  if (unlock == UnlockPolicy::kAsk) flags |= SECRET_SEARCH_UNLOCK;
  SiteAccounts result = Search(attributes, static_cast<SecretSearchFlags>(flags), cancellation.get());
  g_hash_table_unref(attributes);
  // The search matches attributes exactly; this only guards against a
  // store that matches loosely.
  std::erase_if(result.accounts, [&](const SiteAccount& a) { return a.origin != origin; });
  return result;
}

SiteAccounts SecretSitePasswordStore::List(std::stop_token stop) {
  if (!SessionBusConfigured()) return {SecretStoreProblem::kUnavailable, {}};
  StopCancellation cancellation(std::move(stop));
  GHashTable* attributes = NewAttributes();
  SiteAccounts result = Search(attributes, SECRET_SEARCH_ALL, cancellation.get());
  g_hash_table_unref(attributes);
  return result;
}

SecretStoreProblem SecretSitePasswordStore::Save(const SiteAccount& account, std::stop_token stop) {
  if (!SessionBusConfigured()) return SecretStoreProblem::kUnavailable;
  StopCancellation cancellation(std::move(stop));
  const std::string label = "NUVE浏览器 网站密码：" + account.origin +
                            (account.username.empty() ? std::string() : "（" + account.username + "）");
  return WithUnlock(cancellation.get(), [&] {
    GError* error = nullptr;
    secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), account.password.c_str(),
                               cancellation.get(), &error, kOrigin, account.origin.c_str(), kUsername,
                               account.username.c_str(), nullptr);
    return Problem(error, "save");
  });
}

SecretStoreProblem SecretSitePasswordStore::Remove(const std::string& origin, const std::string& username,
                                                   std::stop_token stop) {
  if (!SessionBusConfigured()) return SecretStoreProblem::kUnavailable;
  StopCancellation cancellation(std::move(stop));
  return WithUnlock(cancellation.get(), [&] {
    GError* error = nullptr;
    // False without an error only means nothing was saved.
    secret_password_clear_sync(Schema(), cancellation.get(), &error, kOrigin, origin.c_str(), kUsername,
                               username.c_str(), nullptr);
    return Problem(error, "remove");
  });
}

SecretStoreProblem SecretSitePasswordStore::RemoveAll(std::stop_token stop) {
  if (!SessionBusConfigured()) return SecretStoreProblem::kUnavailable;
  StopCancellation cancellation(std::move(stop));
  return WithUnlock(cancellation.get(), [&] {
    GError* error = nullptr;
    // No attributes: every item of the schema, and only those.
    GHashTable* attributes = NewAttributes();
    secret_password_clearv_sync(Schema(), attributes, cancellation.get(), &error);
    g_hash_table_unref(attributes);
    return Problem(error, "remove all");
  });
}

}  // namespace nuve::core
