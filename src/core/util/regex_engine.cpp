#include "core/util/regex_engine.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <utility>

#include "core/app/log.h"

namespace nuve::core {
namespace {

constexpr std::string_view kWildcardMeta = "\\^$+.{}[]=()\"";
constexpr std::string_view kAllMeta = "\\^$+.{}[]=()?*|\"";
constexpr std::string_view kKeepAlternationMeta = "\\^$+.{}[]=()?*\"";

// Escaping every listed character in one pass gives the same text as
// replacing them one after another with the backslash first: a backslash
// added for a later character is never escaped again.
std::string EscapeWith(std::string_view text, std::string_view meta, bool wildcards) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char c : text) {
    if (meta.find(c) != std::string_view::npos) {
      out += '\\';
      out += c;
    } else if (wildcards && c == '*') {
      out += ".*";
    } else if (wildcards && c == '?') {
      out += ".?";
    } else {
      out += c;
    }
  }
  return out;
}

bool IsContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

// Number of code points before byte `end`. Stray bytes of invalid UTF-8 count
// one each, as PCRE2 itself steps over them.
int CountCharacters(const std::string& text, std::size_t end) {
  int count = 0;
  for (std::size_t i = 0; i < end && i < text.size(); ++i) {
    if (!IsContinuationByte(static_cast<unsigned char>(text[i]))) ++count;
  }
  return count;
}

struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

}  // namespace

std::string RegexEngine::WildcardToPattern(std::string_view text) {
  return EscapeWith(text, kWildcardMeta, true);
}

std::string RegexEngine::EscapeAll(std::string_view text) {
  return EscapeWith(text, kAllMeta, false);
}

std::string RegexEngine::EscapeKeepAlternation(std::string_view text) {
  return EscapeWith(text, kKeepAlternationMeta, false);
}

RegexEngine::RegexEngine() = default;
RegexEngine::~RegexEngine() = default;
RegexEngine::RegexEngine(const RegexEngine&) = default;
RegexEngine& RegexEngine::operator=(const RegexEngine&) = default;
RegexEngine::RegexEngine(RegexEngine&&) noexcept = default;
RegexEngine& RegexEngine::operator=(RegexEngine&&) noexcept = default;

void RegexEngine::Release() {
  code_.reset();
  pattern_.clear();
  matches_.clear();
  subject_.clear();
}

void RegexEngine::Create(const std::string& pattern, bool ignore_case, bool multiline,
                         bool global) {
  Release();
  ignore_case_ = ignore_case;
  multiline_ = multiline;
  global_ = global;
  pattern_ = pattern;

  // Invalid UTF-8 in a subject is allowed and simply never matches, so any
  // bytes can be searched. Line ends are the usual ones of text: LF, CR, CRLF
  // and the Unicode separators.
  uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
  if (ignore_case) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;
  std::unique_ptr<pcre2_compile_context, decltype(&pcre2_compile_context_free)> context(
      pcre2_compile_context_create(nullptr), pcre2_compile_context_free);
  if (!context) return;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANY);

  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   options, &error, &error_offset, context.get());
  if (code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    LogWarning("regex", "pattern does not compile at byte " + std::to_string(error_offset) +
                            ": " + reinterpret_cast<const char*>(message));
    return;
  }
  // JIT makes the JSON reader's passes fast; without it matching still works.
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  code_.reset(code, pcre2_code_free);
}

void RegexEngine::ForEachMatch(const std::string& subject, void* context,
                               MatchVisitor visit) const {
  if (!code_) return;
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
      pcre2_match_data_create_from_pattern(code_.get(), nullptr));
  if (!data) return;
  const auto* text = reinterpret_cast<PCRE2_SPTR>(subject.data());
  const std::size_t length = subject.size();
  uint32_t group_count = 0;
  pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &group_count);

  std::size_t start = 0;
  uint32_t flags = 0;
  while (start <= length) {
    const int rc = pcre2_match(code_.get(), text, length, start, flags, data.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (flags == 0) break;
      // An empty match here cannot be followed by a non-empty one at the same
      // spot: step over one character (a CRLF pair counts as one) and go on.
      flags = 0;
      if (start >= length) break;
      ++start;
      if (start < length && subject[start - 1] == '\r' &&
          subject[start] == '\n') {
        ++start;
      }
      while (start < length && IsContinuationByte(static_cast<unsigned char>(subject[start]))) {
        ++start;
      }
      continue;
    }
    if (rc < 0) {
      PCRE2_UCHAR message[256];
      pcre2_get_error_message(rc, message, sizeof message);
      LogWarning("regex", std::string("matching stopped: ") + reinterpret_cast<const char*>(message));
      break;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    Match match;
    match.whole = {ovector[0], ovector[1], true};
    // \K can move a match's start outside [start, end]; keep spans ordered so
    // that the loop always advances and replacement never copies backwards.
    if (match.whole.begin < start) match.whole.begin = start;
    if (match.whole.end < match.whole.begin) match.whole.end = match.whole.begin;
    match.groups.resize(group_count);
    for (uint32_t g = 1; g <= group_count; ++g) {
      const PCRE2_SIZE b = ovector[2 * g];
      const PCRE2_SIZE e = ovector[2 * g + 1];
      if (b != PCRE2_UNSET && e != PCRE2_UNSET && b <= e && e <= length) {
        match.groups[g - 1] = {b, e, true};
      }
    }
    if (!visit(context, match) || !global_) break;
    start = match.whole.end;
    flags = match.whole.begin == match.whole.end ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
  }
}

int RegexEngine::Execute(const std::string& subject) {
  matches_.clear();
  subject_ = subject;
  ForEachMatch(subject_, &matches_, [](void* context, const Match& match) {
    static_cast<std::vector<Match>*>(context)->push_back(match);
    return true;
  });
  return MatchCount();
}

std::string RegexEngine::GetPattern() const { return code_ ? pattern_ : std::string(); }

namespace {

struct ReplaceState {
  const std::string* subject;
  const std::string* replacement;
  std::string out;
  std::size_t copied = 0;  // subject bytes already handled
};

}  // namespace

std::string RegexEngine::Replace(const std::string& subject,
                                 const std::string& replacement) const {
  if (!code_) return {};
  ReplaceState state{&subject, &replacement, {}, 0};
  state.out.reserve(subject.size());
  ForEachMatch(subject, &state, [](void* context, const Match& m) {
    auto& st = *static_cast<ReplaceState*>(context);
    const std::string& s = *st.subject;
    const std::string& r = *st.replacement;
    st.out.append(s, st.copied, m.whole.begin - st.copied);
    auto append_span = [&](const Span& span) {
      if (span.set) st.out.append(s, span.begin, span.end - span.begin);
    };
    const std::size_t groups = m.groups.size();
    for (std::size_t k = 0; k < r.size(); ++k) {
      const char c = r[k];
      if (c != '$' || k + 1 >= r.size()) {
        st.out += c;
        continue;
      }
      const char n = r[k + 1];
      if (n == '$') {
        st.out += '$';
        ++k;
      } else if (n == '&') {
        append_span(m.whole);
        ++k;
      } else if (n == '`') {
        st.out.append(s, 0, m.whole.begin);
        ++k;
      } else if (n == '\'') {
        st.out.append(s, m.whole.end);
        ++k;
      } else if (n >= '0' && n <= '9') {
        // Two digits name a group when that group exists, else one digit
        // does; a number naming no group stays literal.
        std::size_t number = static_cast<std::size_t>(n - '0');
        std::size_t used = 1;
        if (k + 2 < r.size() && r[k + 2] >= '0' && r[k + 2] <= '9') {
          const std::size_t two = number * 10 + static_cast<std::size_t>(r[k + 2] - '0');
          if (two >= 1 && two <= groups) {
            number = two;
            used = 2;
          }
        }
        if (number >= 1 && number <= groups) {
          append_span(m.groups[number - 1]);
          k += used;
        } else {
          st.out += c;
        }
      } else {
        st.out += c;
      }
    }
    st.copied = m.whole.end;
    return true;
  });
  state.out.append(subject, state.copied);
  return std::move(state.out);
}

int RegexEngine::MatchCount() const { return static_cast<int>(matches_.size()); }

const RegexEngine::Match* RegexEngine::MatchAt(int i) const {
  if (i < 1 || static_cast<std::size_t>(i) > matches_.size()) return nullptr;
  return &matches_[static_cast<std::size_t>(i) - 1];
}

const RegexEngine::Span* RegexEngine::GroupAt(int i, int j) const {
  const Match* match = MatchAt(i);
  if (match == nullptr || j < 1 || static_cast<std::size_t>(j) > match->groups.size()) {
    return nullptr;
  }
  return &match->groups[static_cast<std::size_t>(j) - 1];
}

std::string RegexEngine::MatchValue(int i) const { return MatchText(i); }

std::string RegexEngine::SubMatchValue(int i, int j) const { return SubMatchText(i, j); }

int RegexEngine::SubMatchCount() const {
  const Match* first = MatchAt(1);
  return first ? static_cast<int>(first->groups.size()) : 0;
}

int RegexEngine::FirstIndex(int i) const {
  const Match* match = MatchAt(i);
  return match ? CountCharacters(subject_, match->whole.begin) : -1;
}

// The offsets come straight from the matcher. Searching the subject for the
// match's text from its character index, as a byte search, could land on an
// earlier occurrence of the same text when multibyte characters precede it.
std::string RegexEngine::MatchText(int i, long long* offset) const {
  const Match* match = MatchAt(i);
  if (offset) *offset = match ? static_cast<long long>(match->whole.begin) : -2;
  if (!match) return {};
  return subject_.substr(match->whole.begin, match->whole.end - match->whole.begin);
}

std::string RegexEngine::SubMatchText(int i, int j, long long* offset) const {
  const Span* group = GroupAt(i, j);
  const bool present = group != nullptr && group->set;
  if (offset) *offset = present ? static_cast<long long>(group->begin) : -2;
  if (!present) return {};
  return subject_.substr(group->begin, group->end - group->begin);
}

}  // namespace nuve::core
