#pragma once
// The table of endpoints under /api/: each path, the kind of body it takes,
// what answering it costs, and its handler. Handle also turns a failure of
// the database into the envelope's refusal, so a broken database never
// leaves a request without an answer.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "server/api/api_request.h"
#include "server/api/content_api.h"
#include "server/api/image_api.h"
#include "server/api/registration_api.h"
#include "server/api/session_api.h"
#include "server/api/sync_api.h"

namespace nuve::server {

enum class BodyKind { kForm, kMultipart };

// Where the HTTP front runs a handler. Light ones (reads, and the session
// renewal, which writes at most once a minute) run on the connection's own
// thread and are never queued behind anything; other writes and mail go to
// the work queue; a password hash to the hashing queue, which is bounded so
// that a flood of logins is refused instead of delaying everyone.
enum class RouteCost { kLight, kWork, kHashing };

class ApiRoutes {
 public:
  explicit ApiRoutes(const ServiceDeps& deps);

  // The kind of body `path` takes; nullopt for no such endpoint.
  std::optional<BodyKind> BodyKindOf(std::string_view path) const;
  // What answering `path` costs; kWork for no such endpoint.
  RouteCost CostOf(std::string_view path) const;
  // Answers one request to a known path. Refuses text fields that are not
  // UTF-8 before any handler sees them.
  ApiReply Handle(std::string_view path, const ApiRequest& request) const;

  const ImageApi& images() const { return images_; }

 private:
  struct Route {
    BodyKind body;
    std::function<ApiReply(const ApiRequest&)> handler;
    RouteCost cost = RouteCost::kWork;
  };

  SessionApi session_;
  RegistrationApi registration_;
  ContentApi content_;
  ImageApi images_;
  SyncApi sync_;
  std::unordered_map<std::string, Route> routes_;
};

}  // namespace nuve::server
