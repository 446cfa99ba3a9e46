#pragma once
// The account work of one window: its operations run on the program's task
// runner, off the user-interface thread, and each reply comes back to the
// user-interface thread as a callback. The window keeps its AccountRequests
// as a member; when the window (and with it this object) goes away, every
// reply still under way is dropped and never calls back.
//
//   requests_.Send([account, password](AccountClient& c) { return c.Login(account, password); },
//                  [this](ApiResponse reply) { OnLoginReply(reply); });

#include <functional>
#include <stop_token>
#include <string>

#include "core/account/account_client.h"
#include "core/account/api_response.h"
#include "core/util/read_url.h"
#include "core/util/task_runner.h"
#include "core/util/task_scope.h"

namespace nuve::core {

class AccountRequests {
 public:
  using Operation = std::function<ApiResponse(AccountClient&)>;
  using ReplyHandler = std::function<void(ApiResponse)>;

  // `picture_options` carries the proxy for the pictures; `runner` and
  // `client` must outlive this object.
  AccountRequests(TaskRunner& runner, AccountClient& client, ReadUrlOptions picture_options = {});
  AccountRequests(const AccountRequests&) = delete;
  AccountRequests& operator=(const AccountRequests&) = delete;

  // Runs `operation` on a worker; `on_reply` gets its reply on the
  // user-interface thread. A request that fails in any way delivers a reply
  // that reads as not successful.
  void Send(Operation operation, ReplyHandler on_reply);
  // Fetches the picture at `url` through the proxy; `on_bytes` gets the
  // bytes, "" when there are none.
  void FetchPicture(std::string url, std::function<void(std::string)> on_bytes);
  // Any other blocking work of the window (the secret store, a file).
  template <typename T>
  void Run(std::function<T(std::stop_token)> work, std::function<void(T)> done = {}) {
    runner_.Run<T>(scope_, std::move(work), std::move(done));
  }
  void Run(std::function<void(std::stop_token)> work) { runner_.Run(scope_, std::move(work)); }

  // Drops every reply not delivered yet; later requests are dropped too.
  void CancelAll() { scope_.Cancel(); }

  AccountClient& client() { return client_; }

 private:
  TaskRunner& runner_;
  AccountClient& client_;
  ReadUrlOptions picture_options_;
  TaskScope scope_;
};

}  // namespace nuve::core
