#include "core/util/json_doc.h"

namespace nuve::core {

JsonDoc::JsonDoc() = default;
JsonDoc::JsonDoc(const JsonDoc& other) {
  std::lock_guard lock(other.mutex_);
  plain_ = other.plain_;
  masked_ = other.masked_;
  segments_ = other.segments_;
  depth_ = other.depth_;
  result_ = other.result_;
  zero_based_ = other.zero_based_;
}
JsonDoc& JsonDoc::operator=(const JsonDoc& other) {
  if (this != &other) {
    JsonDoc copy(other);
    std::scoped_lock lock(mutex_);
    plain_ = std::move(copy.plain_);
    masked_ = std::move(copy.masked_);
    segments_ = std::move(copy.segments_);
    depth_ = copy.depth_;
    result_ = std::move(copy.result_);
    zero_based_ = copy.zero_based_;
  }
  return *this;
}
JsonDoc::~JsonDoc() = default;

std::string JsonDoc::GetValue(std::string_view, std::string_view, bool) { return {}; }
std::string JsonDoc::StripQuotes(std::string_view text) const { return std::string(text); }
std::string JsonDoc::TrimBlanks(std::string_view text) const { return std::string(text); }
std::size_t JsonDoc::ParseTop(std::string_view, std::vector<JsonMember>&, std::vector<std::string>&, int& kind) { kind = 0; return 0; }
std::size_t JsonDoc::ListMembers(std::string_view, bool, std::vector<JsonMember>& m) { m.clear(); return 0; }
std::size_t JsonDoc::ListElements(std::string_view, bool, std::vector<std::string>& e) { e.clear(); return 0; }
int JsonDoc::ValueKind(std::string_view) const { return 0; }
int JsonDoc::FindFirstStructure(std::string_view, Position& pos) const { pos = kNotFound; return 0; }
std::size_t JsonDoc::SplitPath(std::string_view) { return 0; }
std::string JsonDoc::NormalisePath(std::string_view, int) const { return {}; }
std::string JsonDoc::Compact(std::string_view text) const { return std::string(text); }
void JsonDoc::Load(std::string_view) {}
bool JsonDoc::WalkArray(const std::vector<std::string>&) { return true; }
bool JsonDoc::WalkObject(const std::vector<JsonMember>&) { return true; }
bool JsonDoc::IsBalanced(Position, Position) const { return false; }
std::string JsonDoc::ReadMemberName(Position, Position& next) const { next = kNotFound; return std::string(kOutOfRange); }
std::string JsonDoc::ReadMemberValue(Position, Position& end) const { end = kNotFound; return std::string(kOutOfRange); }
std::string JsonDoc::Extract(Position, Position, bool) const { return {}; }
std::string JsonDoc::PlainBuffer() const { return plain_; }
std::string JsonDoc::MaskedBuffer() const { return masked_; }
std::vector<std::string> JsonDoc::PathSegments() const { return segments_; }

}  // namespace nuve::core
