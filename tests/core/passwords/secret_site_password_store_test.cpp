// Saved site passwords in a real secret store: a private gnome-keyring-daemon
// on a private session bus, as the desktop's would be.
#include "core/passwords/secret_site_password_store.h"

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include "support/private_session_bus.h"

namespace nuve::core {
namespace {

// Locks every collection, as a desktop does after a time; with no prompter
// on the private bus, a request to unlock is refused.
void LockKeyring() {
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_LOAD_COLLECTIONS, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  GList* collections = secret_service_get_collections(service);
  EXPECT_GT(secret_service_lock_sync(service, collections, nullptr, nullptr, nullptr), 0);
  g_list_free_full(collections, g_object_unref);
  g_object_unref(service);
}

TEST(SecretSitePasswordStoreKeyringTest, SavesReplacesListsAndForgetsOneSiteAtATime) {
  test::PrivateSessionBus keyring(/*with_keyring=*/true);
  SecretSitePasswordStore store;
  EXPECT_TRUE(store.List({}).accounts.empty());
  ASSERT_EQ(store.Save({"https://a.test", "bob", "b-pw"}, {}), SecretStoreProblem::kNone);
  ASSERT_EQ(store.Save({"https://a.test", "alice", "old"}, {}), SecretStoreProblem::kNone);
  ASSERT_EQ(store.Save({"https://a.test", "alice", "新 &\"密码"}, {}), SecretStoreProblem::kNone);
  ASSERT_EQ(store.Save({"http://a.test", "alice", "plain"}, {}), SecretStoreProblem::kNone);
  ASSERT_EQ(store.Save({"https://b.test", "", "no-user"}, {}), SecretStoreProblem::kNone);

  const SiteAccounts found = store.Find("https://a.test", UnlockPolicy::kDoNotAsk, {});
  EXPECT_EQ(found.problem, SecretStoreProblem::kNone);
  ASSERT_EQ(found.accounts.size(), 2u) << "the same username is replaced, other sites are apart";
  EXPECT_EQ(found.accounts[0].username, "alice");
  EXPECT_EQ(found.accounts[0].password, "新 &\"密码");
  EXPECT_EQ(found.accounts[1].username, "bob");
  EXPECT_EQ(store.Find("http://a.test", UnlockPolicy::kDoNotAsk, {}).accounts.at(0).password, "plain");
  EXPECT_TRUE(store.Find("https://a.test:444", UnlockPolicy::kDoNotAsk, {}).accounts.empty());

  const SiteAccounts all = store.List({});
  ASSERT_EQ(all.accounts.size(), 4u);
  EXPECT_EQ(all.accounts[0].origin, "http://a.test");
  EXPECT_EQ(all.accounts[3].origin, "https://b.test");
  EXPECT_EQ(all.accounts[3].username, "");
  for (const auto& a : all.accounts) EXPECT_EQ(a.password, "") << "a listing reads no password";

  ASSERT_EQ(store.Remove("https://a.test", "alice", {}), SecretStoreProblem::kNone);
  ASSERT_EQ(store.Remove("https://a.test", "nobody", {}), SecretStoreProblem::kNone);
  EXPECT_EQ(store.List({}).accounts.size(), 3u);
  // The remembered login of the account windows shares the keyring and
  // stays when every site password goes.
  ASSERT_TRUE(secret_password_store_sync(SECRET_SCHEMA_NOTE, SECRET_COLLECTION_DEFAULT, "other", "keep", nullptr,
                                         nullptr, nullptr));
  ASSERT_EQ(store.RemoveAll({}), SecretStoreProblem::kNone);
  EXPECT_TRUE(store.List({}).accounts.empty());
  gchar* other = secret_password_lookup_sync(SECRET_SCHEMA_NOTE, nullptr, nullptr, nullptr);
  EXPECT_STREQ(other, "keep");
  secret_password_free(other);
}

TEST(SecretSitePasswordStoreKeyringTest, ALockedKeyringThatStaysLockedSavesNothing) {
  test::PrivateSessionBus keyring(/*with_keyring=*/true);
  SecretSitePasswordStore store;
  ASSERT_EQ(store.Save({"https://a.test", "alice", "pw"}, {}), SecretStoreProblem::kNone);
  LockKeyring();
  EXPECT_EQ(store.Save({"https://a.test", "bob", "pw2"}, {}), SecretStoreProblem::kLocked);
  const SiteAccounts found = store.Find("https://a.test", UnlockPolicy::kAsk, {});
  EXPECT_EQ(found.problem, SecretStoreProblem::kLocked);
  ASSERT_EQ(found.accounts.size(), 1u) << "bob was not saved";
  EXPECT_EQ(found.accounts[0].password, "") << "kept back";
  EXPECT_EQ(store.List({}).accounts.size(), 1u) << "names can still be listed";
}

}  // namespace
}  // namespace nuve::core
