#pragma once
// One connection to a SQL database, as the transactions use it. Statements
// name their parameters $1, $2, ... in both dialects and always bind them:
// no value is ever spliced into SQL text.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nuve::server {

enum class SqlDialect { kSqlite, kPostgres };

// One bound value: NULL, an integer, a text or a byte string.
class SqlParam {
 public:
  enum class Kind { kNull, kInt, kText, kBlob };

  SqlParam() = default;
  SqlParam(std::int64_t value) : kind_(Kind::kInt), int_(value) {}  // NOLINT: implicit on purpose
  SqlParam(int value) : kind_(Kind::kInt), int_(value) {}           // NOLINT
  SqlParam(std::string_view text) : kind_(Kind::kText), text_(text) {}  // NOLINT
  SqlParam(const std::string& text) : kind_(Kind::kText), text_(text) {}  // NOLINT
  SqlParam(const char* text) : kind_(Kind::kText), text_(text) {}  // NOLINT
  static SqlParam Blob(std::string_view bytes) {
    SqlParam p(bytes);
    p.kind_ = Kind::kBlob;
    return p;
  }
  static SqlParam Null() { return SqlParam(); }

  Kind kind() const { return kind_; }
  std::int64_t integer() const { return int_; }
  std::string_view text() const { return text_; }

 private:
  Kind kind_ = Kind::kNull;
  std::int64_t int_ = 0;
  std::string_view text_;
};

// One result row; cells are texts (integers in decimal, blobs as their
// bytes) or absent for NULL.
class SqlRow {
 public:
  explicit SqlRow(std::vector<std::optional<std::string>> cells) : cells_(std::move(cells)) {}
  bool IsNull(std::size_t i) const { return !cells_.at(i).has_value(); }
  // The cell's text; "" for NULL.
  const std::string& Text(std::size_t i) const;
  // The cell as an integer; 0 for NULL or a text that is not one.
  std::int64_t Int(std::size_t i) const;
  std::size_t size() const { return cells_.size(); }

 private:
  std::vector<std::optional<std::string>> cells_;
};

using SqlRows = std::vector<SqlRow>;

class SqlConnection {
 public:
  virtual ~SqlConnection() = default;
  virtual SqlDialect dialect() const = 0;
  // Runs one statement with its parameters; throws StoreError.
  virtual SqlRows Query(std::string_view sql, std::span<const SqlParam> params) = 0;
  SqlRows Query(std::string_view sql, std::initializer_list<SqlParam> params = {}) {
    return Query(sql, std::span<const SqlParam>(params.begin(), params.size()));
  }
  // Runs a script of statements without parameters (transaction control,
  // migrations); throws StoreError.
  virtual void Execute(std::string_view script) = 0;
  // False once the connection is known to be unusable; the pool drops it.
  virtual bool Usable() const = 0;
};

}  // namespace nuve::server
