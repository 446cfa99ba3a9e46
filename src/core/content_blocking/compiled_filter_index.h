#pragma once
// What the cache folder knows about the compiled filter lists
// ("content-filters/index.ini"): for each list in use, the stamp of the text
// it was converted from (size, modification time and converter version),
// the digest of the converted rules, under which the engine keeps the
// compiled list, and the counts the settings show. A start whose lists have
// not changed finds the digest here and loads the compiled list without
// converting anything; a changed or unknown list is prepared again with
// PrepareFilterList, off the user-interface thread.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/content_blocking/filter_list_catalog.h"
#include "core/util/status.h"

namespace nuve::core {

// Changes whenever the converter writes different rules for the same list,
// so that older conversions are done again.
inline constexpr std::string_view kFilterConverterVersion = "2";

struct CompiledListRecord {
  std::string stamp;   // FilterListStamp of the text
  std::string digest;  // FilterListDigest of the converted rules
  std::size_t rule_count = 0;       // engine rules
  std::size_t filter_count = 0;     // filters of the list
  std::size_t converted_count = 0;  // filters in use
  std::size_t skipped_count = 0;
  std::string skipped_kinds;  // "csp=3,domain=238"
  std::string title;

  // The engine's identifier of the compiled list.
  std::string Identifier() const { return "nuve-" + digest; }
};

// "<size>-<mtime in ns>-<converter version>"; "" when the file is missing.
std::string FilterListStamp(const std::filesystem::path& file);

class CompiledFilterIndex {
 public:
  explicit CompiledFilterIndex(std::filesystem::path folder);

  // The record of `source_id` when its stamp is still `stamp`.
  std::optional<CompiledListRecord> Find(std::string_view source_id, std::string_view stamp) const;
  Status Store(std::string_view source_id, const CompiledListRecord& record) const;
  // Forgets a record whose compiled list turned out unusable.
  Status Forget(std::string_view source_id) const;

  // Where the engine keeps the compiled lists.
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

struct PreparedFilterList {
  std::string json;  // "" when the list gave no rules or could not be read
  CompiledListRecord record;
  std::string error;  // why there is no json, for the log and the settings
};

// Reads and converts the text of `source` and digests the result. Blocks
// for as long as the conversion takes (a third of a second for EasyList);
// a stop request ends it early with an error.
PreparedFilterList PrepareFilterList(const FilterListSource& source, std::stop_token stop = {});
// The same for a text at hand; the record's stamp is left empty.
PreparedFilterList PrepareFilterText(std::string_view text, std::stop_token stop = {});

}  // namespace nuve::core
