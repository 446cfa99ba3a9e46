#pragma once
// JSON text written straight into a string, for the sync's large documents
// (10,000 favourites), where building a document tree first costs more than
// the writing. Reading stays with nlohmann-json.

#include <cstdint>
#include <string>
#include <string_view>

namespace nuve::core {

// Appends `text` as a JSON string: quoted, with '"', '\' and control
// characters escaped; text that is not UTF-8 is mended first.
void AppendJsonString(std::string& out, std::string_view text);

inline void AppendJsonNumber(std::string& out, std::int64_t n) { out += std::to_string(n); }
inline void AppendJsonNumber(std::string& out, std::uint64_t n) { out += std::to_string(n); }

}  // namespace nuve::core
