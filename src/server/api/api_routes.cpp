#include "server/api/api_routes.h"

#include "server/api/envelope.h"
#include "server/api/input_rules.h"
#include "server/api/reply_texts.h"
#include "server/server_log.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

const char* MessageFor(StoreErrorKind kind) {
  switch (kind) {
    case StoreErrorKind::kBusy: return texts::kBusy;
    case StoreErrorKind::kFull: return texts::kDiskFull;
    default: return texts::kUnavailable;
  }
}

bool FieldsAreText(const ApiRequest& request) {
  for (const auto& [name, value] : request.fields) {
    if (request.filenames.count(name) > 0 || name == "headImg") continue;  // image bytes
    if (!IsValidUtf8(name) || !IsValidUtf8(value)) return false;
  }
  return true;
}

}  // namespace

ApiRoutes::ApiRoutes(const ServiceDeps& deps)
    : session_(deps), registration_(deps), content_(deps), images_(deps), sync_(deps) {
  // form: a form body, answered on the work queue; light and hashing say
  // otherwise (see RouteCost).
  const auto form = [](auto handler) { return Route{BodyKind::kForm, handler}; };
  const auto light = [](auto handler) { return Route{BodyKind::kForm, handler, RouteCost::kLight}; };
  const auto hashing = [](auto handler) { return Route{BodyKind::kForm, handler, RouteCost::kHashing}; };
  routes_ = {
      {"/api/comm/keep.e", light([this](const ApiRequest& r) { return session_.KeepAlive(r); })},
      {"/api/login.e", hashing([this](const ApiRequest& r) { return session_.Login(r); })},
      {"/api/info.e", light([this](const ApiRequest& r) { return session_.Info(r); })},
      {"/api/replyPassword.e", hashing([this](const ApiRequest& r) { return session_.ChangePassword(r); })},
      {"/api/changeEmail.e", hashing([this](const ApiRequest& r) { return session_.ChangeEmail(r); })},
      {"/api/getUserInfoById.e", light([this](const ApiRequest& r) { return session_.UserInfoById(r); })},
      {"/api/register.e",
       Route{BodyKind::kMultipart, [this](const ApiRequest& r) { return registration_.Register(r); },
             RouteCost::kHashing}},
      {"/api/sendRegCodeByEmail.e", form([this](const ApiRequest& r) { return registration_.SendRegisterCode(r); })},
      {"/api/sendRePwdByEmail.e", form([this](const ApiRequest& r) { return registration_.SendPasswordReset(r); })},
      {"/api/dofeed.e", form([this](const ApiRequest& r) { return content_.Feedback(r); })},
      {"/api/announcement/list.e", light([this](const ApiRequest& r) { return content_.ListAnnouncements(r); })},
      {"/api/announcement/get.e", light([this](const ApiRequest& r) { return content_.GetAnnouncement(r); })},
      {"/api/getUserData.e", light([this](const ApiRequest& r) { return content_.GetUserData(r); })},
      {"/api/setUserData.e", form([this](const ApiRequest& r) { return content_.SetUserData(r); })},
      {"/api/upload/getImg.e", light([this](const ApiRequest& r) { return images_.CheckImage(r); })},
      {"/api/upload/img.e",
       Route{BodyKind::kMultipart, [this](const ApiRequest& r) { return images_.UploadImage(r); }}},
      {"/api/updateUserInfo.e", form([this](const ApiRequest& r) { return images_.UpdateUserInfo(r); })},
      {"/api/sync/get.e", form([this](const ApiRequest& r) { return sync_.Get(r); })},
      {"/api/sync/key.e", form([this](const ApiRequest& r) { return sync_.PutKey(r); })},
      {"/api/sync/put.e", Route{BodyKind::kMultipart, [this](const ApiRequest& r) { return sync_.Put(r); }}},
  };
}

std::optional<BodyKind> ApiRoutes::BodyKindOf(std::string_view path) const {
  const auto it = routes_.find(std::string(path));
  if (it == routes_.end()) return std::nullopt;
  return it->second.body;
}

RouteCost ApiRoutes::CostOf(std::string_view path) const {
  const auto it = routes_.find(std::string(path));
  return it == routes_.end() ? RouteCost::kWork : it->second.cost;
}

ApiReply ApiRoutes::Handle(std::string_view path, const ApiRequest& request) const {
  const auto it = routes_.find(std::string(path));
  if (it == routes_.end()) return Refuse(ReplyCode::kRefused, texts::kNotFound, 404);
  if (!FieldsAreText(request)) return Refuse(ReplyCode::kRefused, texts::kBadEncoding);
  try {
    return it->second.handler(request);
  } catch (const StoreError& e) {
    LogError(std::string(path) + ": " + e.what());
    return Refuse(ReplyCode::kServiceError, MessageFor(e.kind()));
  } catch (const std::exception& e) {
    LogError(std::string(path) + ": " + e.what());
    return Refuse(ReplyCode::kServiceError, texts::kUnavailable);
  }
}

}  // namespace nuve::server
