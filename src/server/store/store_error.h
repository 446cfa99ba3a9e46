#pragma once
// A database operation that failed. The kind decides what the user is told;
// the detail goes to the log only.

#include <stdexcept>
#include <string>

namespace nuve::server {

enum class StoreErrorKind {
  kBusy,         // locked by another writer longer than the busy time-out
  kFull,         // the disk or the database's size limit is reached
  kCorrupt,      // the file is damaged or not a database
  kUnavailable,  // the database server cannot be reached
  kTimedOut,     // the database server did not answer in time
  kOther,
};

class StoreError : public std::runtime_error {
 public:
  StoreError(StoreErrorKind kind, const std::string& detail) : std::runtime_error(detail), kind_(kind) {}
  StoreErrorKind kind() const { return kind_; }

 private:
  StoreErrorKind kind_;
};

}  // namespace nuve::server
