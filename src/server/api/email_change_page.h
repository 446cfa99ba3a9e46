#pragma once
// The page behind the link that completes an e-mail change, sent to the new
// address: GET /email?t=TOKEN shows the address and a button, POST /email
// makes the change. A GET changes nothing, so a mail scanner that follows
// links does not confirm for the user. The link's secret token is the
// proof; the change needed the password when it was asked for.

#include <string>

#include "server/api/api_request.h"
#include "server/api/reset_page.h"
#include "server/api/service_deps.h"

namespace nuve::server {

class EmailChangePage {
 public:
  explicit EmailChangePage(const ServiceDeps& deps) : deps_(deps) {}

  PageReply Show(const std::string& token) const;
  // The posted form (t).
  PageReply Confirm(const ApiRequest& form) const;

 private:
  const ServiceDeps& deps_;
};

}  // namespace nuve::server
