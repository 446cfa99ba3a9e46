#include "core/util/curl_library.h"

// The definitions below are libcurl's own functions; its type-checking
// macros would rename them.
#define CURL_DISABLE_TYPECHECK 1
#include <curl/curl.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdarg>
#include <string>

#include "core/app/log.h"
#include "core/app/startup_trace.h"

namespace nuve::core {
namespace {

// Every function of libcurl that NUVE calls, looked up once.
struct CurlFunctions {
  CURLcode (*global_init)(long) = nullptr;
  CURL* (*easy_init)() = nullptr;
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
  void (*easy_cleanup)(CURL*) = nullptr;
  const char* (*easy_strerror)(CURLcode) = nullptr;
  CURLHcode (*easy_header)(CURL*, const char*, size_t, unsigned int, int, curl_header**) = nullptr;
  curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
  void (*slist_free_all)(curl_slist*) = nullptr;
  CURLSH* (*share_init)() = nullptr;
  CURLSHcode (*share_setopt)(CURLSH*, CURLSHoption, ...) = nullptr;
  CURLSHcode (*share_cleanup)(CURLSH*) = nullptr;
  CURLM* (*multi_init)() = nullptr;
  CURLMcode (*multi_add_handle)(CURLM*, CURL*) = nullptr;
  CURLMcode (*multi_remove_handle)(CURLM*, CURL*) = nullptr;
  CURLMcode (*multi_perform)(CURLM*, int*) = nullptr;
  CURLMcode (*multi_poll)(CURLM*, curl_waitfd[], unsigned int, int, int*) = nullptr;
  CURLMsg* (*multi_info_read)(CURLM*, int*) = nullptr;
  CURLMcode (*multi_cleanup)(CURLM*) = nullptr;
  bool complete = false;
};

std::atomic<bool> loaded{false};

template <typename Fn>
bool Find(void* library, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(dlsym(library, name));
  if (fn == nullptr) LogError("libcurl", std::string("libcurl.so.4 has no ") + name);
  return fn != nullptr;
}

const CurlFunctions& Curl() {
  static const CurlFunctions functions = [] {
    CurlFunctions f;
    // Kept to the end of the process, as a linked library would be.
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      const char* why = dlerror();
      LogError("libcurl", std::string("cannot load libcurl.so.4: ") + (why != nullptr ? why : "unknown reason"));
      return f;
    }
    f.complete = Find(library, "curl_global_init", f.global_init) && Find(library, "curl_easy_init", f.easy_init) &&
                 Find(library, "curl_easy_setopt", f.easy_setopt) &&
                 Find(library, "curl_easy_getinfo", f.easy_getinfo) &&
                 Find(library, "curl_easy_cleanup", f.easy_cleanup) &&
                 Find(library, "curl_easy_strerror", f.easy_strerror) &&
                 Find(library, "curl_easy_header", f.easy_header) &&
                 Find(library, "curl_slist_append", f.slist_append) &&
                 Find(library, "curl_slist_free_all", f.slist_free_all) &&
                 Find(library, "curl_share_init", f.share_init) &&
                 Find(library, "curl_share_setopt", f.share_setopt) &&
                 Find(library, "curl_share_cleanup", f.share_cleanup) &&
                 Find(library, "curl_multi_init", f.multi_init) &&
                 Find(library, "curl_multi_add_handle", f.multi_add_handle) &&
                 Find(library, "curl_multi_remove_handle", f.multi_remove_handle) &&
                 Find(library, "curl_multi_perform", f.multi_perform) &&
                 Find(library, "curl_multi_poll", f.multi_poll) &&
                 Find(library, "curl_multi_info_read", f.multi_info_read) &&
                 Find(library, "curl_multi_cleanup", f.multi_cleanup);
    if (!f.complete) return f;
    // libcurl's own set-up, once, before any handle exists (it is not
    // thread-safe otherwise).
    if (f.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      LogError("libcurl", "curl_global_init failed");
      f.complete = false;
      return f;
    }
    loaded = true;
    StartupMark("libcurl loaded");
    return f;
  }();
  return functions;
}

bool Ready() { return Curl().complete; }

}  // namespace

bool CurlLibraryLoaded() { return loaded; }

}  // namespace nuve::core

using nuve::core::Curl;
using nuve::core::Ready;

extern "C" {

// The set-up ran when the library was loaded; later calls have nothing to do.
CURLcode curl_global_init(long) { return Ready() ? CURLE_OK : CURLE_FAILED_INIT; }

CURL* curl_easy_init() { return Ready() ? Curl().easy_init() : nullptr; }

// One value follows the option; its type is given by the option's number,
// which is how libcurl itself reads it.
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
  if (!Ready()) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, option);
  CURLcode result;
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    result = Curl().easy_setopt(handle, option, va_arg(args, long));
  } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
    result = Curl().easy_setopt(handle, option, va_arg(args, void*));
  } else if (option < CURLOPTTYPE_OFF_T) {
    using AnyFunction = void (*)();
    result = Curl().easy_setopt(handle, option, va_arg(args, AnyFunction));
  } else if (option < CURLOPTTYPE_BLOB) {
    result = Curl().easy_setopt(handle, option, va_arg(args, curl_off_t));
  } else {
    result = Curl().easy_setopt(handle, option, va_arg(args, void*));
  }
  va_end(args);
  return result;
}

// Every piece of information is written through a pointer.
CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
  if (!Ready()) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);
  va_end(args);
  return Curl().easy_getinfo(handle, info, out);
}

void curl_easy_cleanup(CURL* handle) {
  if (Ready()) Curl().easy_cleanup(handle);
}

const char* curl_easy_strerror(CURLcode code) {
  return Ready() ? Curl().easy_strerror(code) : "libcurl could not be loaded";
}

CURLHcode curl_easy_header(CURL* handle, const char* name, size_t index, unsigned int origin, int request,
                           curl_header** header) {
  return Ready() ? Curl().easy_header(handle, name, index, origin, request, header) : CURLHE_NOT_BUILT_IN;
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  return Ready() ? Curl().slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  if (Ready()) Curl().slist_free_all(list);
}

CURLSH* curl_share_init() { return Ready() ? Curl().share_init() : nullptr; }

CURLSHcode curl_share_setopt(CURLSH* share, CURLSHoption option, ...) {
  if (!Ready()) return CURLSHE_NOT_BUILT_IN;
  va_list args;
  va_start(args, option);
  CURLSHcode result;
  switch (option) {
    case CURLSHOPT_SHARE:
    case CURLSHOPT_UNSHARE:
      result = Curl().share_setopt(share, option, va_arg(args, int));
      break;
    case CURLSHOPT_LOCKFUNC:
    case CURLSHOPT_UNLOCKFUNC: {
      using AnyFunction = void (*)();
      result = Curl().share_setopt(share, option, va_arg(args, AnyFunction));
      break;
    }
    default:
      result = Curl().share_setopt(share, option, va_arg(args, void*));
      break;
  }
  va_end(args);
  return result;
}

CURLSHcode curl_share_cleanup(CURLSH* share) { return Ready() ? Curl().share_cleanup(share) : CURLSHE_INVALID; }

CURLM* curl_multi_init() { return Ready() ? Curl().multi_init() : nullptr; }

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* handle) {
  return Ready() ? Curl().multi_add_handle(multi, handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* handle) {
  return Ready() ? Curl().multi_remove_handle(multi, handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
  return Ready() ? Curl().multi_perform(multi, running) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned int extra_count, int timeout_ms, int* ready) {
  return Ready() ? Curl().multi_poll(multi, extra, extra_count, timeout_ms, ready) : CURLM_INTERNAL_ERROR;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) { return Ready() ? Curl().multi_info_read(multi, left) : nullptr; }

CURLMcode curl_multi_cleanup(CURLM* multi) { return Ready() ? Curl().multi_cleanup(multi) : CURLM_INTERNAL_ERROR; }

}  // extern "C"
