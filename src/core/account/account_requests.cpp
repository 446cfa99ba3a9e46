#include "core/account/account_requests.h"

#include "core/util/codec_util.h"

namespace nuve::core {

AccountRequests::AccountRequests(TaskRunner& runner, AccountClient& client, ReadUrlOptions picture_options)
    : runner_(runner), client_(client), picture_options_(std::move(picture_options)) {}

void AccountRequests::Send(Operation operation, ReplyHandler on_reply) {
  runner_.Run<ApiResponse>(
      scope_, [&client = client_, operation = std::move(operation)](std::stop_token) { return operation(client); },
      std::move(on_reply));
}

void AccountRequests::FetchPicture(std::string url, std::function<void(std::string)> on_bytes) {
  runner_.Run<std::string>(
      scope_,
      [url = std::move(url), options = picture_options_](std::stop_token stop) mutable {
        options.stop = stop;
        return core::FetchPicture(url, options);
      },
      std::move(on_bytes));
}

}  // namespace nuve::core
