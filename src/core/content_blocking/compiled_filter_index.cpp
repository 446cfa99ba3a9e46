#include "core/content_blocking/compiled_filter_index.h"

#include <sys/stat.h>

#include <charconv>
#include <system_error>

#include "core/content_blocking/filter_list_converter.h"
#include "core/content_blocking/filter_list_digest.h"
#include "core/settings/ini_file.h"

namespace nuve::core {
namespace {

std::size_t ReadCount(const std::string& text) {
  std::size_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() ? value : 0;
}

bool IsHexDigest(std::string_view s) {
  if (s.size() != 64) return false;
  for (const char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

std::string FilterListStamp(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  const long long mtime_ns = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  return std::to_string(static_cast<long long>(info.st_size)) + "-" + std::to_string(mtime_ns) + "-" +
         std::string(kFilterConverterVersion);
}

CompiledFilterIndex::CompiledFilterIndex(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::optional<CompiledListRecord> CompiledFilterIndex::Find(std::string_view source_id,
                                                            std::string_view stamp) const {
  const IniFile ini(folder_ / "index.ini");
  CompiledListRecord record;
  record.stamp = ini.Read(source_id, "stamp");
  record.digest = ini.Read(source_id, "digest");
  if (stamp.empty() || record.stamp != stamp || !IsHexDigest(record.digest)) return std::nullopt;
  record.rule_count = ReadCount(ini.Read(source_id, "rules"));
  record.filter_count = ReadCount(ini.Read(source_id, "filters"));
  record.converted_count = ReadCount(ini.Read(source_id, "converted"));
  record.skipped_count = ReadCount(ini.Read(source_id, "skipped"));
  record.skipped_kinds = ini.Read(source_id, "skipped-kinds");
  record.title = ini.Read(source_id, "title");
  if (record.rule_count == 0) return std::nullopt;
  return record;
}

Status CompiledFilterIndex::Store(std::string_view source_id, const CompiledListRecord& record) const {
  const IniFile ini(folder_ / "index.ini");
  const std::pair<std::string_view, std::string> values[] = {
      {"stamp", record.stamp},
      {"digest", record.digest},
      {"rules", std::to_string(record.rule_count)},
      {"filters", std::to_string(record.filter_count)},
      {"converted", std::to_string(record.converted_count)},
      {"skipped", std::to_string(record.skipped_count)},
      {"skipped-kinds", record.skipped_kinds},
      {"title", record.title},
  };
  for (const auto& [key, value] : values) {
    if (Status s = ini.Write(source_id, key, value); !s.ok()) return s;
  }
  return {};
}

Status CompiledFilterIndex::Forget(std::string_view source_id) const {
  return IniFile(folder_ / "index.ini").Write(source_id, "stamp", "");
}

PreparedFilterList PrepareFilterText(std::string_view text, std::stop_token stop) {
  PreparedFilterList prepared;
  ConvertOptions options;
  options.stop = stop;
  ConvertedFilterList converted = ConvertFilterList(text, options);
  if (converted.stopped) {
    prepared.error = "stopped";
    return prepared;
  }
  CompiledListRecord& record = prepared.record;
  record.rule_count = converted.rule_count;
  record.filter_count = converted.filter_count;
  record.converted_count = converted.converted_count;
  record.skipped_count = converted.SkippedCount();
  for (const auto& [kind, count] : converted.skipped) {
    if (!record.skipped_kinds.empty()) record.skipped_kinds += ',';
    record.skipped_kinds += kind + "=" + std::to_string(count);
  }
  record.title = converted.title;
  if (converted.json.empty()) {
    prepared.error = "no filter the engine can use";
    return prepared;
  }
  record.digest = FilterListDigest(converted.json);
  prepared.json = std::move(converted.json);
  return prepared;
}

PreparedFilterList PrepareFilterList(const FilterListSource& source, std::stop_token stop) {
  const std::string stamp = FilterListStamp(source.file);
  if (stamp.empty()) {
    PreparedFilterList missing;
    missing.error = source.origin == FilterListSource::Origin::kSubscription ? "not downloaded yet"
                                                                              : source.file.string() + ": missing";
    return missing;
  }
  std::string error;
  const std::string text = ReadFilterListFile(source.file, error);
  if (!error.empty()) {
    PreparedFilterList unreadable;
    unreadable.error = error;
    return unreadable;
  }
  PreparedFilterList prepared = PrepareFilterText(text, stop);
  prepared.record.stamp = stamp;
  return prepared;
}

}  // namespace nuve::core
