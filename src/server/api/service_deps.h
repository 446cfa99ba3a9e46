#pragma once
// What the endpoint handlers work with; owned by the serving program.

#include "server/api/clock.h"
#include "server/api/session_renewer.h"
#include "server/api/service_config.h"
#include "server/mail/mailer.h"
#include "server/security/password_hasher.h"
#include "server/store/storage_reserve.h"
#include "server/store/store.h"

namespace nuve::server {

struct ServiceDeps {
  Store& store;
  PasswordHasher& hasher;
  Mailer& mailer;
  const Clock& clock;
  const ServiceConfig& config;
  SessionRenewer& sessions;
  const StorageReserve& storage;
};

}  // namespace nuve::server
