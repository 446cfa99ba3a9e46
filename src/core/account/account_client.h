#pragma once
// The program's interface to the account service: one operation per
// endpoint. Each builds its body, posts it to the service address + path
// through SendRequest and returns the reply as an ApiResponse; a failed or
// timed-out request gives an empty reply, which reads as not successful.
// Operations block the calling thread until the reply arrives: windows run
// them through AccountRequests, which keeps them off the user-interface
// thread. Once built, a client may be used from several threads at once.

#include <optional>
#include <stop_token>
#include <string>

#include "core/account/api_response.h"
#include "core/account/login_session.h"
#include "core/account/service_address.h"

namespace nuve::core {

// The optional fields of Register; a field that is not set stays out of the
// body.
struct RegisterFields {
  std::optional<std::string> email;
  std::optional<std::string> phone;
  std::optional<std::string> name;
  std::string head_img;  // image bytes; empty = no image part
  std::optional<std::string> code;
};

// The fields UpdateUserInfo changes; a field that is not set is left out.
struct UserInfoUpdate {
  std::optional<std::string> name;
  std::optional<std::string> email;
  std::optional<std::string> phone;
  std::optional<std::string> head_img;
};

// The application key every window sets on its client before any request.
inline constexpr char kApplicationKey[] = "7a1e0c92-4b3d-4e8f-a615-2c9d8b0f4e37";

// What a keep-alive's reply says about the login. `status` is the reply's
// HTTP status (0 when no reply came). Only a reply of the service that
// refuses the token (its envelope, without success, from a status below 500,
// and not code 5, which says the service itself failed) ends the login;
// anything else (no reply, a server error, a page that is not the
// envelope, the service busy) is a failure to reach it.
RenewalResult RenewalResultOf(int status, const ApiResponse& reply);
// The status code of the last reply in raw reply headers; 0 when none.
int HttpStatusOf(const std::string& headers);

class AccountClient {
 public:
  // `service_host` is host[:port] (plain HTTP) or "https://host[:port]";
  // `app_key` is the application key every request that carries one sends;
  // a stop request on `stop` (the program's shutdown) ends every request in
  // progress at once. `session` must outlive the client.
  AccountClient(LoginSession& session, std::string service_host, std::string app_key = "",
                std::stop_token stop = {});
  // The same with the service host of the configuration (NUVE_SERVICE_HOST).
  explicit AccountClient(LoginSession& session);

  const std::string& ServiceHost() const { return service_host_; }
  // Tests shorten the wait; 0 restores the transport's default (90 s).
  // Call before the first request.
  void SetTimeoutSeconds(int seconds) { timeout_seconds_ = seconds; }

  // Replaces the application key; call before the first request. The
  // program gives the key once, when it builds its clients.
  void SetAppKey(const std::string& key) { app_key_ = key; }
  // Stores the reply's token when its "code" is "0", and (re)starts the
  // keep-alive when its "result" is true; the two tests are separate.
  ApiResponse Login(const std::string& account = "", const std::string& password = "",
                    const std::string& login_key = "");
  ApiResponse Register(const std::string& account, const std::string& password,
                       const RegisterFields& fields = {});
  // Sends the login token as well when there is one: the service then ends
  // every other session of the account and keeps this one.
  ApiResponse ChangePassword(const std::string& account, const std::string& old_password,
                             const std::string& new_password);
  ApiResponse SendPasswordResetMail(const std::string& account);
  ApiResponse SendRegisterCodeMail(const std::string& email);
  ApiResponse GetInfo();
  ApiResponse SendFeedback(const std::string& title, const std::string& content);
  // One renewal of the login; true when the service accepted the token.
  bool KeepAlive();
  ApiResponse ListAnnouncements();
  ApiResponse GetAnnouncement(std::optional<int> id = std::nullopt);
  // Ends the keep-alive of the shared session; the token stays.
  void StopKeepAlive();
  ApiResponse GetUserInfoById(int uid);
  ApiResponse GetUserData(const std::string& key);
  ApiResponse SetUserData(const std::string& key, const std::string& value);
  // Asks whether the service already holds the image (by the lower-case hex
  // MD5 of its bytes) and uploads it only when it does not.
  ApiResponse UploadImage(const std::string& image);
  // nuve-account-server refuses an update that carries an e-mail: the
  // address changes only with the password and a link sent to the new one.
  ApiResponse UpdateUserInfo(const UserInfoUpdate& update);

 private:
  ApiResponse Post(const std::string& path, const std::string& body, const std::string& headers = "");

  LoginSession& session_;
  std::string service_host_;
  ServiceAddress address_;
  std::string app_key_;
  std::stop_token stop_;
  int timeout_seconds_ = 0;
};

}  // namespace nuve::core
