#pragma once
// The hand-over between a caller of SendRequest and the worker thread that
// performs the request: an ordered list of values, read back in the order
// they were written. The caller writes the request form, beginning with
// kRequestMarker; the worker empties the record and writes the reply form,
// beginning with kReplyMarker. A caller takes a body only from a record that
// begins with kReplyMarker, so a record the worker emptied but never filled
// reads as a failure.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace nuve::core {

class RequestRecord {
 public:
  static constexpr std::string_view kRequestMarker = "Ferolin";
  static constexpr std::string_view kReplyMarker = "Ferolin_OK";

  // Appends one value.
  void Write(std::string value);
  // The next value not read yet; "" once every value has been read.
  std::string Read();
  // Makes the next Read return the first value again.
  void Rewind();
  // Drops every value.
  void Clear();

 private:
  std::mutex mutex_;  // the caller and the worker may touch the record at once after a time-out
  std::vector<std::string> values_;
  std::size_t next_ = 0;
};

}  // namespace nuve::core
