#include "core/util/curl_transfer.h"

#include <algorithm>

namespace nuve::core {
namespace {
constexpr std::chrono::milliseconds kPollStep(50);
}  // namespace

CURLcode PerformTransfer(CURL* handle, const std::function<bool()>& should_stop,
                         std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  CURLM* multi = curl_multi_init();
  if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
  if (curl_multi_add_handle(multi, handle) != CURLM_OK) {
    curl_multi_cleanup(multi);
    return CURLE_FAILED_INIT;
  }
  CURLcode result = CURLE_OK;
  while (true) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      result = CURLE_RECV_ERROR;  // replaced by the transfer's own result below
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
      }
      break;
    }
    if (should_stop && should_stop()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    const auto step = deadline - now < kPollStep
                          ? std::chrono::ceil<std::chrono::milliseconds>(deadline - now)
                          : kPollStep;
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(step.count()), nullptr);
  }
  curl_multi_remove_handle(multi, handle);
  curl_multi_cleanup(multi);
  return result;
}

void BoundedBody::AttachTo(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* user) -> size_t {
    auto* body = static_cast<BoundedBody*>(user);
    const size_t n = size * count;
    if (body->text.size() + n > body->max_bytes) {
      body->overflow = true;
      return 0;
    }
    body->text.append(data, n);
    return n;
  });
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
}

}  // namespace nuve::core
