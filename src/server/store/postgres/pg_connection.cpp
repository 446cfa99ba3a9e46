#include "server/store/postgres/pg_connection.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "server/store/store_error.h"

namespace nuve::server {
namespace {

constexpr Oid kByteaOid = 17;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

StoreErrorKind KindOfState(const std::string& state) {
  if (state == "40001" || state == "40P01" || state == "55P03") return StoreErrorKind::kBusy;
  if (state.starts_with("53")) return StoreErrorKind::kFull;  // disk full, out of memory, too many connections
  if (state.starts_with("08") || state.starts_with("57P")) return StoreErrorKind::kUnavailable;
  if (state.starts_with("XX")) return StoreErrorKind::kCorrupt;
  return StoreErrorKind::kOther;
}

}  // namespace

PgConnection::PgConnection(const std::string& address, Deadline deadline) : deadline_(deadline) {
  // Ours first: the operator's address, expanded last, may set its own.
  const char* const keys[] = {"keepalives", "keepalives_idle", "keepalives_interval", "keepalives_count",
                              "tcp_user_timeout", "connect_timeout", "dbname", nullptr};
  const char* const values[] = {"1", "30", "10", "3", "5000", "5", address.c_str(), nullptr};
  conn_ = PQconnectStartParams(keys, values, 1);
  if (conn_ == nullptr) throw StoreError(StoreErrorKind::kUnavailable, "postgresql: cannot connect: out of memory");
  PostgresPollingStatusType status = PGRES_POLLING_WRITING;
  while (status != PGRES_POLLING_OK) {
    if (PQstatus(conn_) == CONNECTION_BAD || status == PGRES_POLLING_FAILED) {
      std::string detail = PQerrorMessage(conn_);
      while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ')) detail.pop_back();
      PQfinish(conn_);
      conn_ = nullptr;
      throw StoreError(StoreErrorKind::kUnavailable, "postgresql: cannot connect: " + detail);
    }
    if (!Wait(status == PGRES_POLLING_READING ? POLLIN : POLLOUT)) {
      PQfinish(conn_);
      conn_ = nullptr;
      throw StoreError(StoreErrorKind::kTimedOut, "postgresql: cannot connect: no answer in time");
    }
    status = PQconnectPoll(conn_);
  }
  PQsetnonblocking(conn_, 1);
  // Quiet the server's NOTICE lines (they would go to standard error).
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
}

PgConnection::~PgConnection() { PQfinish(conn_); }

bool PgConnection::Usable() const { return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK; }

bool PgConnection::Wait(short events) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{PQsocket(conn_), events, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left.count() + 1, 60'000)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

void PgConnection::GiveUp(const std::string& what) {
  // The connection is in an unknown state: it goes.
  PQfinish(conn_);
  conn_ = nullptr;
  throw StoreError(StoreErrorKind::kTimedOut, "postgresql: " + what);
}

PGresult* PgConnection::Collect() {
  for (;;) {
    const int flushed = PQflush(conn_);
    if (flushed == 0) break;
    if (flushed < 0) Fail(nullptr);
    if (!Wait(POLLIN | POLLOUT)) GiveUp("no answer within the time allowed");
    if (!PQconsumeInput(conn_)) Fail(nullptr);
  }
  PGresult* last = nullptr;
  PGresult* failed = nullptr;
  for (;;) {
    while (PQisBusy(conn_)) {
      if (!Wait(POLLIN)) {
        PQclear(last);
        PQclear(failed);
        GiveUp("no answer within the time allowed");
      }
      if (!PQconsumeInput(conn_)) {
        PQclear(last);
        PQclear(failed);
        Fail(nullptr);
      }
    }
    PGresult* result = PQgetResult(conn_);
    if (result == nullptr) break;
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && failed == nullptr) {
      failed = result;
    } else {
      PQclear(last);
      last = result;
    }
  }
  if (failed != nullptr) {
    PQclear(last);
    Fail(failed);
  }
  return last;
}

void PgConnection::Fail(PGresult* result) {
  std::string state;
  std::string detail = conn_ != nullptr ? PQerrorMessage(conn_) : "connection lost";
  if (result != nullptr) {
    if (const char* s = PQresultErrorField(result, PG_DIAG_SQLSTATE)) state = s;
    if (const char* m = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) detail = m;
    PQclear(result);
  }
  while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ')) detail.pop_back();
  const StoreErrorKind kind =
      conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK ? StoreErrorKind::kUnavailable : KindOfState(state);
  throw StoreError(kind, "postgresql: " + (state.empty() ? std::string() : state + " ") + detail);
}

SqlRows PgConnection::Query(std::string_view sql, std::span<const SqlParam> params) {
  std::vector<std::string> texts(params.size());
  std::vector<const char*> values(params.size(), nullptr);
  std::vector<int> lengths(params.size(), 0);
  std::vector<int> formats(params.size(), 0);
  for (std::size_t i = 0; i < params.size(); ++i) {
    const SqlParam& p = params[i];
    switch (p.kind()) {
      case SqlParam::Kind::kNull: break;
      case SqlParam::Kind::kInt: texts[i] = std::to_string(p.integer()); values[i] = texts[i].c_str(); break;
      case SqlParam::Kind::kText: texts[i] = std::string(p.text()); values[i] = texts[i].c_str(); break;
      case SqlParam::Kind::kBlob:
        values[i] = p.text().data();
        lengths[i] = static_cast<int>(p.text().size());
        formats[i] = 1;
        break;
    }
  }
  if (!Usable()) Fail(nullptr);
  const std::string text(sql);
  if (!PQsendQueryParams(conn_, text.c_str(), static_cast<int>(params.size()), nullptr, values.data(),
                         lengths.data(), formats.data(), 0)) {
    Fail(nullptr);
  }
  PGresult* raw = Collect();
  if (raw == nullptr) Fail(nullptr);
  Result result(raw);

  SqlRows rows;
  const int count = PQntuples(raw);
  const int columns = PQnfields(raw);
  rows.reserve(static_cast<std::size_t>(count));
  for (int r = 0; r < count; ++r) {
    std::vector<std::optional<std::string>> cells;
    cells.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(raw, r, c)) {
        cells.emplace_back(std::nullopt);
      } else if (PQftype(raw, c) == kByteaOid) {
        std::size_t size = 0;
        unsigned char* bytes =
            PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(raw, r, c)), &size);
        cells.emplace_back(bytes ? std::string(reinterpret_cast<char*>(bytes), size) : std::string());
        PQfreemem(bytes);
      } else {
        cells.emplace_back(std::string(PQgetvalue(raw, r, c), static_cast<std::size_t>(PQgetlength(raw, r, c))));
      }
    }
    rows.emplace_back(std::move(cells));
  }
  return rows;
}

void PgConnection::Execute(std::string_view script) {
  if (!Usable()) Fail(nullptr);
  const std::string text(script);
  if (!PQsendQuery(conn_, text.c_str())) Fail(nullptr);
  PQclear(Collect());
}

}  // namespace nuve::server
