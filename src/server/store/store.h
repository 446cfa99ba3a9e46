#pragma once
// Where the service keeps all of its state. Every operation of the service
// runs as one transaction through Read, Write or Touch: the body gets a Tx,
// the transaction commits when the body returns and rolls back when it
// throws, so no half-written account, token or image is ever left behind.
// Failures of the database itself throw StoreError.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "server/store/tx.h"

namespace nuve::server {

enum class TxMode {
  kRead,   // reads only
  kWrite,  // durable: on disk before the commit returns
  kTouch,  // a write whose loss in a power cut is harmless (session renewals)
};

class Store {
 public:
  virtual ~Store() = default;

  template <class Body>
  auto Read(Body&& body) { return Transact(TxMode::kRead, std::forward<Body>(body)); }
  template <class Body>
  auto Write(Body&& body) { return Transact(TxMode::kWrite, std::forward<Body>(body)); }
  template <class Body>
  auto Touch(Body&& body) { return Transact(TxMode::kTouch, std::forward<Body>(body)); }

  // "sqlite:PATH" or the PostgreSQL address without its password.
  virtual std::string Describe() const = 0;

  // Writes a consistent copy of the database to `file` while the service
  // runs. Returns "" when done, else what went wrong or what to do instead.
  virtual std::string Backup(const std::filesystem::path& file) = 0;

 protected:
  // Runs `body` in one transaction of `mode`. The body may run more than once
  // when the database asks for a retry, so it must do nothing but database
  // work and computing its result.
  virtual void Run(TxMode mode, const std::function<void(Tx&)>& body) = 0;

 private:
  template <class Body>
  auto Transact(TxMode mode, Body&& body) {
    using Result = std::invoke_result_t<Body&, Tx&>;
    if constexpr (std::is_void_v<Result>) {
      Run(mode, [&](Tx& tx) { body(tx); });
    } else {
      std::optional<Result> result;
      Run(mode, [&](Tx& tx) {
        result.reset();
        result.emplace(body(tx));
      });
      return std::move(*result);
    }
  }
};

}  // namespace nuve::server
