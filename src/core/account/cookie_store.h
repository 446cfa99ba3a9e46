#pragma once
// The one cookie store of the process: cookies that the account service sets
// on any request go back to that host with every later request, whichever
// client object or thread sends it. It is libcurl's cookie engine, shared
// between the easy handles of all requests.

#include <mutex>

typedef void CURL;
typedef void CURLSH;

namespace nuve::core {

class CookieStore {
 public:
  // The process-wide store.
  static CookieStore& Shared();

  // Lets `handle` read and write the shared cookies.
  void Attach(CURL* handle);
  // Forgets every cookie (tests start from a clean store with it).
  void Clear();

  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

 private:
  CookieStore();
  ~CookieStore();

  static void LockCb(CURL* handle, int data, int access, void* self);
  static void UnlockCb(CURL* handle, int data, void* self);

  CURLSH* share_ = nullptr;
  // libcurl asks for a lock per kind of shared data; one mutex per kind
  // keeps the cookie lock apart from the DNS and connection ones.
  std::mutex locks_[16];
};

}  // namespace nuve::core
