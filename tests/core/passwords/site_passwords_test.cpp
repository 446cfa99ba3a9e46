// When a sign-in is worth asking about, and how the store's answers come
// back: over a store in memory that can play a locked keyring.
#include "core/passwords/site_passwords.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>

#include "support/queue_ui_poster.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

class FakeSitePasswordStore : public SitePasswordStore {
 public:
  SiteAccounts Find(const std::string& origin, UnlockPolicy unlock, std::stop_token) override {
    std::lock_guard lock(mutex_);
    if (unlock == UnlockPolicy::kAsk) TryUnlock();
    SiteAccounts found;
    for (const auto& [key, password] : saved_) {
      if (key.first != origin) continue;
      found.accounts.push_back({key.first, key.second, locked ? std::string() : password});
      if (locked) found.problem = SecretStoreProblem::kLocked;
    }
    return found;
  }
  SiteAccounts List(std::stop_token) override { return {}; }
  SecretStoreProblem Save(const SiteAccount& account, std::stop_token) override {
    std::lock_guard lock(mutex_);
    TryUnlock();
    if (locked) return SecretStoreProblem::kLocked;
    saved_[{account.origin, account.username}] = account.password;
    return SecretStoreProblem::kNone;
  }
  SecretStoreProblem Remove(const std::string&, const std::string&, std::stop_token) override { return {}; }
  SecretStoreProblem RemoveAll(std::stop_token) override { return {}; }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return saved_.size();
  }

  bool locked = false;
  bool user_unlocks = false;  // what the user answers the desktop's prompt
  int unlock_prompts = 0;

 private:
  void TryUnlock() {
    if (!locked) return;
    ++unlock_prompts;
    if (user_unlocks) locked = false;
  }
  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::string> saved_;
};

class SitePasswordsTest : public ::testing::Test {
 protected:
  // Runs what the workers hand back until `done` holds.
  template <typename F>
  bool Until(F done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end) poster_.WaitAndRun(std::chrono::milliseconds(50));
    return done();
  }

  test::TempHome home_;
  test::QueueUiPoster poster_;
  FakeSitePasswordStore store_;
  TaskRunner runner_{poster_};
  SitePasswords passwords_{&store_, NeverSaveList(home_.path() / "never-save.ini"), runner_};
  TaskScope scope_;
};

TEST(WorthOfferingToSave, NewOrChangedSignInsOnlyAndNeverWithoutAStore) {
  const SiteAccount alice{"https://a.test", "alice", "pw1"};
  SiteAccounts saved{SecretStoreProblem::kNone, {{"https://a.test", "alice", "pw1"}, {"https://a.test", "bob", "x"}}};
  EXPECT_FALSE(WorthOfferingToSave(saved, alice)) << "saved as it is";
  EXPECT_TRUE(WorthOfferingToSave(saved, {"https://a.test", "alice", "pw2"})) << "the password changed";
  EXPECT_TRUE(WorthOfferingToSave(saved, {"https://a.test", "carol", "pw1"})) << "another username";
  EXPECT_TRUE(WorthOfferingToSave(saved, {"https://a.test", "", "pw1"})) << "a form without a username field";
  EXPECT_TRUE(WorthOfferingToSave({SecretStoreProblem::kLocked, {{"https://a.test", "alice", ""}}}, alice))
      << "a locked keyring keeps the saved password back: it may differ";
  EXPECT_FALSE(WorthOfferingToSave({SecretStoreProblem::kUnavailable, {}}, alice)) << "nowhere to save it";
  EXPECT_FALSE(WorthOfferingToSave({SecretStoreProblem::kFailed, {}}, alice));
  EXPECT_FALSE(WorthOfferingToSave({}, {"", "alice", "pw1"})) << "a page without a site";
}

TEST_F(SitePasswordsTest, ASaveOutlivesTheTabThatAskedAndOnlyItsAnswerIsDropped) {
  bool answered = false;
  {
    TaskScope tab;
    passwords_.Save({"https://a.test", "alice", "pw"}, tab, [&](SecretStoreProblem) { answered = true; });
  }
  ASSERT_TRUE(Until([&] { return store_.Count() == 1; }));
  ASSERT_TRUE(Until([&] { return runner_.BusyCount() == 0; }));
  poster_.RunPending();
  EXPECT_FALSE(answered);

  std::optional<bool> offer;
  passwords_.CheckSubmitted({"https://a.test", "alice", "pw"}, scope_, [&](bool o) { offer = o; });
  ASSERT_TRUE(Until([&] { return offer.has_value(); }));
  EXPECT_FALSE(*offer) << "saved already";
}

TEST_F(SitePasswordsTest, ALockedKeyringIsAskedToUnlockUntilTheUserRefusesOnce) {
  passwords_.Save({"https://a.test", "alice", "pw"}, scope_, [](SecretStoreProblem) {});
  ASSERT_TRUE(Until([&] { return store_.Count() == 1; }));
  store_.locked = true;

  std::optional<SecretStoreProblem> saved;
  passwords_.Save({"https://a.test", "bob", "pw2"}, scope_, [&](SecretStoreProblem p) { saved = p; });
  ASSERT_TRUE(Until([&] { return saved.has_value(); }));
  EXPECT_EQ(*saved, SecretStoreProblem::kLocked) << "refused: nothing saved, and the caller hears it";
  EXPECT_EQ(store_.Count(), 1u);
  EXPECT_EQ(store_.unlock_prompts, 1);

  std::optional<SiteAccounts> found;
  passwords_.FindForFill("https://a.test", scope_, [&](SiteAccounts f) { found = std::move(f); });
  ASSERT_TRUE(Until([&] { return found.has_value(); }));
  EXPECT_TRUE(found->accounts.empty()) << "nothing to fill without the password";
  EXPECT_EQ(store_.unlock_prompts, 2);
  found.reset();
  passwords_.FindForFill("https://a.test", scope_, [&](SiteAccounts f) { found = std::move(f); });
  ASSERT_TRUE(Until([&] { return found.has_value(); }));
  EXPECT_EQ(store_.unlock_prompts, 2) << "every sign-in form must not bring the prompt back";

  store_.user_unlocks = true;
  saved.reset();
  passwords_.Save({"https://a.test", "bob", "pw2"}, scope_, [&](SecretStoreProblem p) { saved = p; });
  ASSERT_TRUE(Until([&] { return saved.has_value(); }));
  EXPECT_EQ(*saved, SecretStoreProblem::kNone);
  found.reset();
  passwords_.FindForFill("https://a.test", scope_, [&](SiteAccounts f) { found = std::move(f); });
  ASSERT_TRUE(Until([&] { return found.has_value(); }));
  EXPECT_EQ(found->accounts.size(), 2u);
}

}  // namespace
}  // namespace nuve::core
