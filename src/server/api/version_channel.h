#pragma once
// The version channel: GET /fcg-bin/cgi_get_portrait.fcg?uins=KEY answers in
// the form of a profile reply, which the browser's version lookup reads: the
// key, eleven bytes, then the published label in double quotes. The label is
// the one an operator set ("version set"), else the configured one.

#include <string>

#include "server/api/service_deps.h"

namespace nuve::server {

// The settings name under which "version set" stores the label.
inline constexpr char kPublishedVersionSetting[] = "published_version";

// Whether `label` can be published under `key`: printable, at most 64 bytes,
// no double quote and not containing the key (the browser looks for the key's
// last occurrence).
bool IsPublishableLabel(const std::string& label, const std::string& key);

class VersionChannel {
 public:
  explicit VersionChannel(const ServiceDeps& deps) : deps_(deps) {}

  // The reply body for the keys asked for ("uins"); a reply without a label
  // when the configured key is not among them.
  std::string Reply(const std::string& uins) const;
  // The label published now.
  std::string PublishedLabel() const;

 private:
  const ServiceDeps& deps_;
};

}  // namespace nuve::server
