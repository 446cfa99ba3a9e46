#include "server/admin/admin_commands.h"

#include <ctime>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>

#include "server/admin/password_input.h"
#include "server/api/input_rules.h"
#include "server/api/version_channel.h"
#include "server/service_setup.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

using Words = std::vector<std::string>;

struct Context {
  const ServerOptions& options;
  Store& store;
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

std::int64_t NowMs() { return static_cast<std::int64_t>(std::time(nullptr)) * 1000; }

std::string LocalTime(std::int64_t ms) {
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

// Tabs and line breaks in a listed text would break the columns.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

int Usage(Context& c, const std::string& what) {
  c.err << what << "\n(see nuve-account-server --help)\n";
  return 2;
}

int Fail(Context& c, const std::string& what) {
  c.err << what << "\n";
  return 1;
}

// Reads a new password and hashes it; nullopt after saying why not.
std::optional<std::string> NewPasswordHash(Context& c) {
  const auto password = ReadNewPassword(c.in, c.err);
  if (!password) return std::nullopt;
  if (!IsAcceptablePassword(*password)) {
    c.err << "a password is 6 to 16 characters\n";
    return std::nullopt;
  }
  const auto hasher = MakeHasher(c.options);
  if (!hasher) {
    c.err << "--password-hash is interactive, moderate or light\n";
    return std::nullopt;
  }
  auto hash = hasher->Hash(*password);
  if (!hash) c.err << "not enough memory to hash the password\n";
  return hash;
}

int UserAdd(Context& c, const Words& w) {
  if (w.size() != 4) return Usage(c, "usage: user add ACCOUNT EMAIL [--name NAME]");
  const std::string& account = w[2];
  const std::string& email = w[3];
  if (!IsAccountNumber(account)) return Fail(c, "an account is 8 to 10 digits");
  if (!IsEmailAddress(email)) return Fail(c, "not an e-mail address: " + email);
  if (!c.options.name.empty() && !IsShortText(c.options.name, 20)) return Fail(c, "a name is 1 to 20 characters");
  const auto hash = NewPasswordHash(c);
  if (!hash) return 1;
  NewUser user{account, email, *hash, c.options.name, "", "", NowMs()};
  const auto id = c.store.Write([&](Tx& tx) { return tx.InsertUser(user); });
  if (!id) return Fail(c, "the account " + account + " exists already");
  c.out << "added account " << account << " (id " << *id << ")\n";
  return 0;
}

int SetState(Context& c, const Words& w, UserState state) {
  if (w.size() != 3) return Usage(c, "usage: user " + w[1] + " ACCOUNT");
  if (!c.store.Write([&](Tx& tx) { return tx.SetUserState(w[2], state); })) {
    return Fail(c, "no account " + w[2]);
  }
  c.out << "account " << w[2] << " is " << UserStateName(state) << " now\n";
  return 0;
}

int UserResetPassword(Context& c, const Words& w) {
  if (w.size() != 3) return Usage(c, "usage: user reset-password ACCOUNT");
  if (!c.store.Read([&](Tx& tx) { return tx.FindUserByAccount(w[2]); })) return Fail(c, "no account " + w[2]);
  const auto hash = NewPasswordHash(c);
  if (!hash) return 1;
  const bool done = c.store.Write([&](Tx& tx) {
    const auto user = tx.FindUserByAccount(w[2], true);
    if (!user) return false;
    tx.SetPasswordHash(user->id, *hash);
    tx.DeleteSessionsOf(user->id);
    tx.MarkSyncKeyReset(user->id);
    tx.ClearLoginFailures(user->account);
    return true;
  });
  if (!done) return Fail(c, "no account " + w[2]);
  c.out << "the password of " << w[2] << " is set; its sessions have ended\n";
  return 0;
}

int UserList(Context& c, const Words& w) {
  if (w.size() != 2) return Usage(c, "usage: user list [--limit N]");
  for (const User& u : c.store.Read([&](Tx& tx) { return tx.ListUsers(c.options.limit.value_or(1000)); })) {
    c.out << u.id << '\t' << u.account << '\t' << u.email << '\t' << UserStateName(u.state) << '\t'
          << LocalTime(u.regist_time) << '\t' << OneLine(u.name) << '\n';
  }
  return 0;
}

int FeedbackList(Context& c, const Words& w) {
  if (w.size() != 2 || w[1] != "list") return Usage(c, "usage: feedback list [--limit N]");
  for (const FeedbackEntry& f : c.store.Read([&](Tx& tx) { return tx.ListFeedback(c.options.limit.value_or(100)); })) {
    c.out << f.id << '\t' << LocalTime(f.create_time) << '\t' << f.account << '\t' << OneLine(f.title) << '\t'
          << OneLine(f.content) << '\n';
  }
  return 0;
}

int Announce(Context& c, const Words& w) {
  if (w.size() >= 3 && w[1] == "add" && w.size() <= 4) {
    std::string content = w.size() == 4 ? w[3] : std::string(std::istreambuf_iterator<char>(c.in), {});
    while (content.ends_with('\n')) content.pop_back();
    if (!IsShortText(w[2], 100)) return Fail(c, "a title is one line of 1 to 100 characters");
    if (!IsValidUtf8(content) || !HasNoControlCharacters(content, true)) return Fail(c, "the content is not UTF-8 text");
    const std::int64_t now = NowMs();
    const std::int64_t id = c.store.Write([&](Tx& tx) { return tx.InsertAnnouncement(w[2], content, now); });
    c.out << "announcement " << id << " published\n";
    return 0;
  }
  if (w.size() == 2 && w[1] == "list") {
    for (const Announcement& a : c.store.Read([](Tx& tx) { return tx.ListAnnouncements(1000); })) {
      c.out << a.id << '\t' << LocalTime(a.push_time) << '\t' << OneLine(a.title) << '\n';
    }
    return 0;
  }
  if (w.size() == 3 && w[1] == "remove") {
    const auto id = ParseId(w[2]);
    if (!id) return Usage(c, "usage: announce remove ID");
    if (!c.store.Write([&](Tx& tx) { return tx.DeleteAnnouncement(*id); })) return Fail(c, "no announcement " + w[2]);
    c.out << "announcement " << *id << " removed\n";
    return 0;
  }
  return Usage(c, "usage: announce add TITLE [CONTENT] | announce list | announce remove ID");
}

int Version(Context& c, const Words& w) {
  ServiceConfig config;
  if (auto error = MakeServiceConfig(c.options, config)) return Usage(c, *error);
  if (w.size() == 3 && w[1] == "set") {
    if (!IsPublishableLabel(w[2], config.version_key)) {
      return Fail(c, "a label is printable text of at most 64 bytes, without double quotes or the version key");
    }
    c.store.Write([&](Tx& tx) { tx.PutSetting(kPublishedVersionSetting, w[2]); });
    c.out << "publishing \"" << w[2] << "\" under version key " << config.version_key << "\n";
    return 0;
  }
  if (w.size() == 2 && w[1] == "show") {
    const auto stored = c.store.Read([](Tx& tx) { return tx.Setting(kPublishedVersionSetting); });
    c.out << (stored ? *stored : config.published_version) << "\n";
    return 0;
  }
  return Usage(c, "usage: version set LABEL | version show");
}

int Backup(Context& c, const Words& w) {
  if (w.size() != 2) return Usage(c, "usage: backup FILE");
  const std::string problem = c.store.Backup(w[1]);
  if (!problem.empty()) return Fail(c, problem);
  c.out << "copied " << c.store.Describe() << " to " << w[1] << "\n";
  return 0;
}

int Dispatch(Context& c, const Words& w) {
  const std::string& group = w[0];
  if (group == "user" && w.size() >= 2) {
    if (w[1] == "add") return UserAdd(c, w);
    if (w[1] == "ban") return SetState(c, w, UserState::kBanned);
    if (w[1] == "unban") return SetState(c, w, UserState::kNormal);
    if (w[1] == "reset-password") return UserResetPassword(c, w);
    if (w[1] == "list") return UserList(c, w);
  }
  if (group == "feedback") return FeedbackList(c, w);
  if (group == "announce") return Announce(c, w);
  if (group == "version") return Version(c, w);
  if (group == "backup") return Backup(c, w);
  std::string all;
  for (const auto& word : w) all += (all.empty() ? "" : " ") + word;
  return Usage(c, "unknown command: " + all);
}

}  // namespace

int RunAdminCommand(const ServerOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
  if (options.command.empty()) return 2;
  std::unique_ptr<Store> store;
  try {
    store = OpenStoreFor(options);
  } catch (const std::exception& e) {
    err << "cannot open the database: " << e.what() << "\n";
    return 1;
  }
  Context c{options, *store, in, out, err};
  try {
    return Dispatch(c, options.command);
  } catch (const StoreError& e) {
    err << "the database failed: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace nuve::server
