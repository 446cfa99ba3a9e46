#pragma once
// The user's choices about content blocking, in "Adblock.ini" of the
// configuration folder:
//   [广告拦截] 开启=1|0        blocking on (the default) or off
//   [广告拦截] 自动更新=1|0    the answer to the first-start offer to keep
//                              the subscribed lists up to date; missing
//                              until the user has answered
//   [停用网站] <host>=1       sites where blocking is off
//   [订阅] <id>=<address>      subscribed lists ("" once removed)
// Every read goes to the file, every write replaces one key.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/config.h"
#include "core/settings/ini_file.h"
#include "core/util/status.h"

namespace nuve::core {

struct FilterSubscription {
  std::string id;   // SubscriptionId(url)
  std::string url;  // http or https
};

// A list the program offers to subscribe to, at its publisher's address.
struct OfferedFilterList {
  std::string_view name;
  std::string_view url;
  // The file name of the same list in Debian's package, "" when Debian has
  // none; a downloaded copy takes that file's place.
  std::string_view packaged_file;
};

// EasyList, EasyList China and EasyPrivacy.
const std::vector<OfferedFilterList>& OfferedFilterLists();

class ContentBlockingSettings {
 public:
  explicit ContentBlockingSettings(const Config& config);
  explicit ContentBlockingSettings(std::filesystem::path file);

  bool Enabled() const;
  Status SetEnabled(bool enabled) const;

  // Whether the subscribed lists are refreshed; nullopt until the user
  // answered the offer.
  std::optional<bool> AutomaticUpdates() const;
  Status SetAutomaticUpdates(bool enabled) const;

  // The site of an address as the exceptions name it: its host in lower
  // case; "" for addresses without one (about:, data:, file:).
  static std::string SiteOf(std::string_view uri);
  bool IsSiteExcepted(std::string_view host) const;
  // Errors: kInvalidName for "" or a host with blanks, "=" or line breaks.
  Status SetSiteExcepted(std::string_view host, bool excepted) const;
  std::vector<std::string> ExceptedSites() const;

  // The subscriptions in the order they were added.
  std::vector<FilterSubscription> Subscriptions() const;
  // Adds an http(s) address (kept as given, once). Errors: kInvalidName for
  // anything but an http or https address of at most 2,000 characters.
  Status AddSubscription(std::string_view url) const;
  Status RemoveSubscription(std::string_view id) const;
  // A short stable name for a subscription address, usable as a file name.
  static std::string SubscriptionId(std::string_view url);
  static bool IsSubscriptionAddress(std::string_view url);

  const IniFile& file() const { return file_; }

 private:
  IniFile file_;
};

}  // namespace nuve::core
