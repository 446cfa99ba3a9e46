#include "server/store/postgres/pg_connection.h"

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

PgConnection::PgConnection(const std::string& address) {
  conn_ = PQconnectdb(address.c_str());
  if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
    std::string detail = conn_ != nullptr ? PQerrorMessage(conn_) : "out of memory";
    PQfinish(conn_);
    conn_ = nullptr;
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ')) detail.pop_back();
    throw StoreError(StoreErrorKind::kUnavailable, "postgresql: cannot connect: " + detail);
  }
  // Quiet the server's NOTICE lines (they would go to standard error).
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
}

PgConnection::~PgConnection() { PQfinish(conn_); }

bool PgConnection::Usable() const { return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK; }

void PgConnection::Fail(PGresult* result) {
  std::string state;
  std::string detail = PQerrorMessage(conn_);
  if (result != nullptr) {
    if (const char* s = PQresultErrorField(result, PG_DIAG_SQLSTATE)) state = s;
    if (const char* m = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) detail = m;
    PQclear(result);
  }
  while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ')) detail.pop_back();
  const StoreErrorKind kind = PQstatus(conn_) != CONNECTION_OK ? StoreErrorKind::kUnavailable : KindOfState(state);
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
  const std::string text(sql);
  PGresult* raw = PQexecParams(conn_, text.c_str(), static_cast<int>(params.size()), nullptr, values.data(),
                               lengths.data(), formats.data(), 0);
  const ExecStatusType status = raw != nullptr ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) Fail(raw);
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
  const std::string text(script);
  PGresult* raw = PQexec(conn_, text.c_str());
  const ExecStatusType status = raw != nullptr ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(raw);
  PQclear(raw);
}

}  // namespace nuve::server
