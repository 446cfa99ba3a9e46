#include "test_postgres.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <unistd.h>

namespace nuve::test {
namespace {

// The cluster's address, from the file the fixture wrote; "" when none.
std::string ClusterUrl() {
  const char* file = std::getenv("NUVE_TEST_POSTGRES_URL_FILE");
  if (file == nullptr) return {};
  std::ifstream in(file);
  std::string url;
  std::getline(in, url);
  return url;
}

bool Run(const std::string& url, const std::string& sql) {
  PGconn* conn = PQconnectdb(url.c_str());
  bool ok = PQstatus(conn) == CONNECTION_OK;
  if (ok) {
    PGresult* result = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    PQclear(result);
  }
  PQfinish(conn);
  return ok;
}

}  // namespace

bool TestDatabase::ExecuteInCluster(const std::string& sql) { return Run(ClusterUrl(), sql); }

std::unique_ptr<TestDatabase> TestDatabase::Create() {
  const std::string cluster = ClusterUrl();
  if (cluster.empty()) return nullptr;
  std::random_device random;
  const std::string name = "t" + std::to_string(getpid()) + "_" + std::to_string(random() % 1000000);
  if (!Run(cluster, "CREATE DATABASE " + name)) return nullptr;
  const std::string url = cluster.substr(0, cluster.rfind('/') + 1) + name;
  return std::unique_ptr<TestDatabase>(new TestDatabase(name, url));
}

TestDatabase::~TestDatabase() { Run(ClusterUrl(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)"); }

bool TestDatabase::Execute(const std::string& sql) const { return Run(url_, sql); }

}  // namespace nuve::test
