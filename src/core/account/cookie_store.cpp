#include "core/account/cookie_store.h"

#include <curl/curl.h>

#include "core/app/log.h"

namespace nuve::core {

CookieStore& CookieStore::Shared() {
  // Built on first use and kept to the end of the process: worker threads
  // that outlived a timed-out request may still use it while statics die.
  static CookieStore* store = new CookieStore();
  return *store;
}

CookieStore::CookieStore() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  share_ = curl_share_init();
  if (share_ == nullptr) {
    LogError("cookies", "cannot create the shared cookie store");
    return;
  }
  curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CookieStore::LockCb);
  curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CookieStore::UnlockCb);
  curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
  curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

CookieStore::~CookieStore() {
  if (share_ != nullptr) curl_share_cleanup(share_);
}

void CookieStore::Attach(CURL* handle) {
  if (share_ == nullptr) return;
  curl_easy_setopt(handle, CURLOPT_SHARE, share_);
  curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");  // turns the cookie engine on, reads no file
}

void CookieStore::Clear() {
  CURL* handle = curl_easy_init();
  if (handle == nullptr) return;
  Attach(handle);
  curl_easy_setopt(handle, CURLOPT_COOKIELIST, "ALL");
  curl_easy_cleanup(handle);
}

void CookieStore::LockCb(CURL*, int data, int, void* self) {
  static_cast<CookieStore*>(self)->locks_[data & 15].lock();
}

void CookieStore::UnlockCb(CURL*, int data, void* self) {
  static_cast<CookieStore*>(self)->locks_[data & 15].unlock();
}

}  // namespace nuve::core
