#pragma once
// Databases in the PostgreSQL cluster that CTest starts for these tests
// (tests/server/postgres_fixture.sh). Each test gets a fresh database of its
// own, dropped when it is done.

#include <memory>
#include <string>

namespace nuve::test {

class TestDatabase {
 public:
  // A new, empty database; nullptr when no cluster runs (the test is then
  // skipped, which happens only outside CTest).
  static std::unique_ptr<TestDatabase> Create();
  ~TestDatabase();

  // postgresql://nuve@127.0.0.1:PORT/NAME
  const std::string& url() const { return url_; }
  // Runs one SQL statement as the cluster's superuser in this database;
  // false when it fails.
  bool Execute(const std::string& sql) const;
  // The same in the cluster's maintenance database.
  static bool ExecuteInCluster(const std::string& sql);

 private:
  TestDatabase(std::string name, std::string url) : name_(std::move(name)), url_(std::move(url)) {}
  std::string name_;
  std::string url_;
};

}  // namespace nuve::test
