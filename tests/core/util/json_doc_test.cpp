#include "core/util/json_doc.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace nuve::core {
namespace {

using nlohmann::json;

// ---------------------------------------------------------------------------
// Reading values by path.

TEST(JsonDocGetValue, ReadsMembersAndGivesEmptyForMissingOnes) {
  JsonDoc doc;
  const std::string text = R"({"code":0,"message":"ok"})";
  EXPECT_EQ(doc.GetValue(text, "code"), "0");
  EXPECT_EQ(doc.GetValue(text, "message"), "ok");
  EXPECT_EQ(doc.GetValue(text, "none"), "");
  EXPECT_EQ(doc.GetValue(text, "code.deeper"), "");
  EXPECT_EQ(doc.GetValue("{ \"a\" : [ 1 , 2 ] }", ""), "{\"a\":[ 1 , 2 ]}");
  EXPECT_EQ(doc.GetValue("", "a"), "");
}

TEST(JsonDocGetValue, FollowsArrayStepsOneBasedOrZeroBased) {
  JsonDoc doc;
  const std::string text = R"({"data":[{"id":1},{"id":2}]})";
  EXPECT_EQ(doc.GetValue(text, "data.[2].id"), "2");
  EXPECT_EQ(doc.GetValue(text, "data.[1].id", true), "2");
  EXPECT_EQ(doc.GetValue(text, "data.[0].id", true), "1");
  EXPECT_EQ(doc.GetValue(text, "data.[0].id"), "");
  EXPECT_EQ(doc.GetValue(text, "data.[3].id"), "");
  EXPECT_EQ(doc.GetValue(text, "data.[01].id"), "");
  EXPECT_EQ(doc.GetValue(text, "data.[-1].id"), "");
  EXPECT_EQ(doc.GetValue(text, "data.[99999999999999999999].id"), "");
  EXPECT_EQ(doc.GetValue(text, "data[1].id"), "");
  EXPECT_EQ(doc.GetValue(text, doc.NormalisePath("data[1].id", 1)), "1");
  EXPECT_EQ(doc.GetValue(text, "data.[2]"), R"({"id":2})");
  EXPECT_EQ(doc.GetValue("[]", "[1]"), "");
  EXPECT_EQ(doc.GetValue("[[],[5]]", "[2].[1]"), "5");
}

TEST(JsonDocGetValue, QuotedSegmentsFirstDuplicateAndBareValues) {
  JsonDoc doc;
  const std::string text = R"({"a.b":{"c":"dot"},"a":{"b":{"c":"nested"}}})";
  EXPECT_EQ(doc.GetValue(text, "''a.b''.c"), "dot");
  EXPECT_EQ(doc.GetValue(text, "\"a.b\".c"), "dot");
  EXPECT_EQ(doc.GetValue(text, "a.b.c"), "nested");
  EXPECT_EQ(doc.GetValue(R"({"k":1,"k":2})", "k"), "1");
  EXPECT_EQ(doc.GetValue("abc", "[1]"), "abc");
  EXPECT_EQ(doc.GetValue("\"abc\"", "[1]"), "abc");
  EXPECT_EQ(doc.GetValue("42", "[1]"), "42");
  // A path below a scalar leads nowhere.
  for (const char* scalar : {"1", "\"t\"", "true", "false", "null"}) {
    EXPECT_EQ(doc.GetValue(std::string(R"({"s":)") + scalar + "}", "s.x"), "") << scalar;
    EXPECT_EQ(doc.GetValue(std::string(R"({"s":)") + scalar + "}", "s.[1]"), "") << scalar;
  }
}

TEST(JsonDocGetValue, MendedStringHandling) {
  JsonDoc doc;
  // Blanks inside strings are kept; blanks around values are not part of them.
  EXPECT_EQ(doc.GetValue(R"({"a": "x y "})", "a"), "x y ");
  EXPECT_EQ(doc.GetValue(R"({"a": " lead", "b" : "in \" quote " })", "b"), "in \" quote ");
  // An escaped quote does not end its string, so later members read right.
  const std::string escaped = R"({"a":"say \"hi\", {x}:[","b":7})";
  EXPECT_EQ(doc.GetValue(escaped, "a"), "say \"hi\", {x}:[");
  EXPECT_EQ(doc.GetValue(escaped, "b"), "7");
  EXPECT_EQ(doc.GetValue(R"({"a":"say \"hi\""})", "a"), "say \"hi\"");
  EXPECT_EQ(doc.GetValue(R"({"a":"back\\","b":1})", "b"), "1");
  // Escapes are decoded to UTF-8, surrogate pairs included.
  EXPECT_EQ(doc.GetValue(R"({"m":"\u4e2d\u6587 \ud83d\ude00\n\t\/"})", "m"),
            "中文 \xF0\x9F\x98\x80\n\t/");
  EXPECT_EQ(doc.GetValue(R"({"m":"\ud83d alone \ude00"})", "m"), "\xEF\xBF\xBD alone \xEF\xBF\xBD");
  EXPECT_EQ(doc.GetValue(R"({"m":"\u00zz \q"})", "m"), "\\u00zz \\q");
  EXPECT_EQ(doc.GetValue(R"({"m":"\u0000x"})", "m"), std::string("\0x", 2));
  // Member names are decoded the same way.
  EXPECT_EQ(doc.GetValue(R"({"\u4e2d":1,"a\"b":2})", "中"), "1");
  std::vector<JsonMember> members;
  doc.ListMembers(R"({"\u4e2d":1,"a\"b":2})", true, members);
  EXPECT_EQ(members, (std::vector<JsonMember>{{"中", "1"}, {"a\"b", "2"}}));
  // Objects keep their compact raw text, inner quotes and escapes untouched.
  EXPECT_EQ(doc.GetValue(R"({"o": {"s": "x ", "e":"\u4e2d"} })", "o"),
            R"({"s":"x ","e":"\u4e2d"})");
}

TEST(JsonDocGetValue, PrettyPrintedTextReadsLikeCompactText) {
  JsonDoc doc;
  const std::string text = "{\r\n  \"code\": 0,\r\n  \"list\": [\n    1,\n    \"two\"\n  ],\n"
                           "  \"flag\": true\n}\n";
  EXPECT_EQ(doc.GetValue(text, "code"), "0");
  EXPECT_EQ(doc.GetValue(text, "list.[1]"), "1");
  EXPECT_EQ(doc.GetValue(text, "list.[2]"), "two");
  EXPECT_EQ(doc.GetValue(text, "flag"), "true");
  EXPECT_EQ(doc.GetValue("{\"a\":\xE3\x80\x80" "5\xE3\x80\x80}", "a"), "5");
}

// ---------------------------------------------------------------------------
// Listing one level.

TEST(JsonDocLists, ElementsAndMembers) {
  JsonDoc doc;
  std::vector<std::string> elements;
  EXPECT_EQ(doc.ListElements("[]", true, elements), 0u);
  EXPECT_EQ(doc.ListElements("[ ]", true, elements), 0u);
  EXPECT_EQ(doc.ListElements(R"([1,[2,3],{"k":[4]}])", true, elements), 3u);
  EXPECT_EQ(elements, (std::vector<std::string>{"1", "[2,3]", R"({"k":[4]})"}));
  EXPECT_EQ(doc.ListElements(R"([ "a,]" , 2 ] , 9])", true, elements), 2u);
  EXPECT_EQ(elements, (std::vector<std::string>{"\"a,]\"", "2"}));
  EXPECT_EQ(doc.ListElements("[1,2", true, elements), 1u);  // the unclosed tail is dropped
  EXPECT_EQ(doc.ListElements("no array", true, elements), 0u);

  std::vector<JsonMember> members;
  EXPECT_EQ(doc.ListMembers(R"({"a":1,"b":{"c":[1,2]},"d":"x"})", true, members), 3u);
  EXPECT_EQ(members, (std::vector<JsonMember>{{"a", "1"}, {"b", R"({"c":[1,2]})"}, {"d", "\"x\""}}));
  // Reading goes on into an object that follows.
  EXPECT_EQ(doc.ListMembers(R"([{"a":1},{"b":2}])", true, members), 2u);
  // An unclosed array drops its member and ends the reading.
  EXPECT_EQ(doc.ListMembers(R"({"z":0,"a":[1,2},"b":3})", true, members), 1u);
  EXPECT_EQ(doc.GetValue(R"({"a":[1,2}")", "a"), "");
  EXPECT_EQ(doc.ListMembers("{}", true, members), 0u);
  // With load false the buffers already loaded are read.
  doc.Load(R"({"q":5})");
  EXPECT_EQ(doc.ListMembers("ignored", false, members), 1u);
  EXPECT_EQ(members.front(), (JsonMember{"q", "5"}));
}

TEST(JsonDocLists, ParseTopPicksTheFirstStructure) {
  JsonDoc doc;
  std::vector<JsonMember> members;
  std::vector<std::string> elements;
  int kind = -1;
  EXPECT_EQ(doc.ParseTop(R"({"a":[1]})", members, elements, kind), 1u);
  EXPECT_EQ(kind, JsonDoc::kKindObject);
  EXPECT_EQ(doc.ParseTop(R"([{"a":1}])", members, elements, kind), 1u);
  EXPECT_EQ(kind, JsonDoc::kKindArray);
  EXPECT_EQ(doc.ParseTop("plain", members, elements, kind), 1u);
  EXPECT_EQ(kind, JsonDoc::kKindArray);
  EXPECT_EQ(elements, std::vector<std::string>{"plain"});
}

// ---------------------------------------------------------------------------
// Paths.

TEST(JsonDocPaths, SplitAndNormalise) {
  JsonDoc doc;
  EXPECT_EQ(doc.SplitPath("a.b..[1]"), 4u);
  EXPECT_EQ(doc.PathSegments(), (std::vector<std::string>{"a", "b", "", "[1]"}));
  EXPECT_EQ(doc.SplitPath("''x.y''.\"p.q.r\". z "), 3u);
  EXPECT_EQ(doc.PathSegments(), (std::vector<std::string>{"x.y", "p.q.r", "z"}));
  EXPECT_EQ(doc.SplitPath("a.\"b.c"), 1u);  // the unclosed quoted segment is dropped
  EXPECT_EQ(doc.GetValue(R"({"a":1})", "\"b.c"), R"({"a":1})");
  EXPECT_EQ(doc.NormalisePath("a.[0].b.[12]", 0), "a[0].b[12]");
  EXPECT_EQ(doc.NormalisePath("a[0].b[12]", 1), "a.[0].b.[12]");
  EXPECT_EQ(doc.NormalisePath("a[0]", 2), "");
}

// ---------------------------------------------------------------------------
// The buffers and position-based steps.

TEST(JsonDocBuffers, MaskingAndPositionSteps) {
  JsonDoc doc;
  doc.Load(R"({"k" : "a\"{" , "n":[1]})");
  EXPECT_EQ(doc.PlainBuffer(), R"({"k":"a\"{","n":[1]})");
  EXPECT_EQ(doc.MaskedBuffer(), R"({" ":"    "," ":[1]})");
  EXPECT_EQ(doc.PlainBuffer().size(), doc.MaskedBuffer().size());

  JsonDoc::Position next = 0;
  EXPECT_EQ(doc.ReadMemberName(1, next), "k");
  EXPECT_EQ(next, 5);
  JsonDoc::Position end = 0;
  EXPECT_EQ(doc.ReadMemberValue(next, end), R"("a\"{")");
  EXPECT_EQ(end, 12);
  EXPECT_EQ(doc.ReadMemberName(end, next), "n");
  EXPECT_EQ(doc.ReadMemberValue(next, end), "[1]");
  EXPECT_EQ(end, static_cast<JsonDoc::Position>(doc.PlainBuffer().size()));
  EXPECT_EQ(doc.ReadMemberName(end, next), JsonDoc::kOutOfRange);
  EXPECT_EQ(next, JsonDoc::kNotFound);

  EXPECT_TRUE(doc.IsBalanced(1, 20));
  EXPECT_FALSE(doc.IsBalanced(1, 18));  // "[" without its "]"
  EXPECT_FALSE(doc.IsBalanced(1, 3));   // one quote
  EXPECT_FALSE(doc.IsBalanced(JsonDoc::kNotFound, 3));
  EXPECT_EQ(doc.Extract(1, 5), R"("k")");
  EXPECT_EQ(doc.Extract(1, 5, true), R"({"k":)");
  EXPECT_EQ(doc.Extract(5, 1), "");
  EXPECT_EQ(doc.Extract(-5, 1000, true), doc.PlainBuffer());

  doc.Load(R"({"a":[1,2})");
  EXPECT_EQ(doc.ReadMemberValue(5, end), JsonDoc::kOutOfRange);
  EXPECT_EQ(end, JsonDoc::kNotFound);

  JsonDoc::Position pos = 0;
  EXPECT_EQ(doc.FindFirstStructure(R"(x "[{")", pos), JsonDoc::kKindOther);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(doc.FindFirstStructure("ab[{", pos), JsonDoc::kKindArray);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(doc.FindFirstStructure("none", pos), JsonDoc::kKindOther);
  EXPECT_EQ(pos, JsonDoc::kNotFound);
  EXPECT_EQ(doc.ValueKind("{}"), JsonDoc::kKindObject);
  EXPECT_EQ(doc.ValueKind("[x"), JsonDoc::kKindArray);
  EXPECT_EQ(doc.ValueKind(" {"), JsonDoc::kKindOther);
}

TEST(JsonDocBuffers, CompactTouchesOnlyBlanksOutsideStrings) {
  JsonDoc doc;
  EXPECT_EQ(doc.Compact("{ \"a\" : \" x \" ,\n \"b\": [ 1 , 2 ] }"),
            "{\"a\":\" x \",\"b\":[ 1 , 2 ]}");
  EXPECT_EQ(doc.Compact("\"open \\\" { "), "\"open \\\" { ");
  EXPECT_EQ(doc.Compact("[\xE3\x80\x80{}\xE3\x80\x80]"), "[{}]");

  // A copy reads on its own buffers.
  doc.Load(R"({"a":1})");
  JsonDoc copy = doc;
  doc.Load("[2]");
  EXPECT_EQ(copy.PlainBuffer(), R"({"a":1})");
  copy = doc;
  EXPECT_EQ(copy.PlainBuffer(), "[2]");
}

// StripQuotes and TrimBlanks are the global replacements of two fixed
// patterns; checked here against PCRE2 running the patterns themselves.
std::string Pcre2ReplaceAll(const std::string& pattern, const std::string& subject) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()), pattern.size(),
                                   PCRE2_UTF | PCRE2_MULTILINE | PCRE2_CASELESS |
                                       PCRE2_MATCH_INVALID_UTF,
                                   &error, &offset, nullptr);
  EXPECT_NE(code, nullptr);
  std::string out(subject.size() * 2 + 16, '\0');
  PCRE2_SIZE out_size = out.size();
  int rc = pcre2_substitute(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0,
                            PCRE2_SUBSTITUTE_GLOBAL, nullptr, nullptr,
                            reinterpret_cast<PCRE2_SPTR>(""), 0,
                            reinterpret_cast<PCRE2_UCHAR*>(out.data()), &out_size);
  pcre2_code_free(code);
  EXPECT_GE(rc, 0);
  out.resize(out_size);
  return out;
}

TEST(JsonDocBuffers, StripQuotesAndTrimBlanksMatchTheirPatterns) {
  const std::string kPatternA = "[\\s\xE3\x80\x80]+\"|\"[\\s\xE3\x80\x80]+|^[ \xE3\x80\x80\"\\t]+|"
                                "[ \xE3\x80\x80\"\\t]+$";
  const std::string kPatternD = "^[ \xE3\x80\x80\\t]+|[ \xE3\x80\x80\\t]+$";
  const std::vector<std::string> pieces = {" ", "\t", "\n", "\r", "\v", "\f", "\"", "a",
                                           "\xE3\x80\x80", "\xE4\xB8\xAD", "\xE3", "\x80", ":"};
  JsonDoc doc;
  std::mt19937 rng(7);
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    int length = static_cast<int>(rng() % 12);
    for (int i = 0; i < length; ++i) text += pieces[rng() % pieces.size()];
    ASSERT_EQ(doc.StripQuotes(text), Pcre2ReplaceAll(kPatternA, text)) << "[" << text << "]";
    ASSERT_EQ(doc.TrimBlanks(text), Pcre2ReplaceAll(kPatternD, text)) << "[" << text << "]";
  }
  EXPECT_EQ(doc.StripQuotes("\"abc\""), "abc");
  EXPECT_EQ(doc.StripQuotes(R"({"a":1})"), R"({"a":1})");
}

// ---------------------------------------------------------------------------
// Property: for documents made by a real JSON library, every top-level member
// and members reached through nested paths read as that library reads them.

json RandomValue(std::mt19937& rng, int depth);

std::string RandomString(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {
      "a", "Z", " ", "  ", ".", ",", ":", "{", "}", "[", "]", "\"", "\\", "/", "\n", "\t",
      "中", "文", "\xF0\x9F\x98\x80", "\xE3\x80\x80", "''", "x y", "\x01", "\u00e9"};
  std::string s;
  int length = static_cast<int>(rng() % 8);
  for (int i = 0; i < length; ++i) s += pieces[rng() % pieces.size()];
  return s;
}

std::string RandomKey(std::mt19937& rng, int index) {
  // Names without dots or quotes can be written as plain path segments;
  // some carry non-ASCII text, which the writer may escape.
  static const std::vector<std::string> stems = {"code", "data", "名字", "k", "a_b", "x-1"};
  return stems[rng() % stems.size()] + std::to_string(index);
}

json RandomValue(std::mt19937& rng, int depth) {
  int pick = static_cast<int>(rng() % (depth > 3 ? 5 : 7));
  switch (pick) {
    case 0: return nullptr;
    case 1: return rng() % 2 == 0;
    case 2: return static_cast<int>(rng() % 200000) - 100000;
    case 3: return std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
    case 4: return RandomString(rng);
    case 5: {
      json array = json::array();
      int n = static_cast<int>(rng() % 5);
      for (int i = 0; i < n; ++i) array.push_back(RandomValue(rng, depth + 1));
      return array;
    }
    default: {
      json object = json::object();
      int n = static_cast<int>(rng() % 5);
      for (int i = 0; i < n; ++i) object[RandomKey(rng, i)] = RandomValue(rng, depth + 1);
      return object;
    }
  }
}

// What GetValue should give for `value`: strings decoded, everything else as
// the library writes it.
void ExpectReadsAs(const std::string& got, const json& value, const std::string& where) {
  if (value.is_string()) {
    EXPECT_EQ(got, value.get<std::string>()) << where;
  } else if (value.is_structured()) {
    EXPECT_EQ(json::parse(got, nullptr, false), value) << where << " got " << got;
  } else {
    EXPECT_EQ(got, value.dump()) << where;
  }
}

// Checks every member of `object` at `prefix` and, a level down, one path
// through each nested object and array.
// `prefix` counts array steps from 1, `zero_prefix` from 0.
void CheckPaths(JsonDoc& doc, const std::string& text, const json& value,
                const std::string& prefix, const std::string& zero_prefix, int depth) {
  if (depth > 4) return;
  const std::string dot = prefix.empty() ? "" : ".";
  if (value.is_object()) {
    for (const auto& [key, member] : value.items()) {
      ExpectReadsAs(doc.GetValue(text, prefix + dot + key), member, prefix + dot + key);
      CheckPaths(doc, text, member, prefix + dot + key, zero_prefix + dot + key, depth + 1);
    }
  } else if (value.is_array()) {
    for (std::size_t i = 0; i < value.size(); ++i) {
      std::string path = prefix + dot + "[" + std::to_string(i + 1) + "]";
      std::string zero = zero_prefix + dot + "[" + std::to_string(i) + "]";
      ExpectReadsAs(doc.GetValue(text, path), value[i], path);
      ExpectReadsAs(doc.GetValue(text, zero, true), value[i], zero);
      CheckPaths(doc, text, value[i], path, zero, depth + 1);
    }
  }
}

TEST(JsonDocProperty, AgreesWithNlohmannOnRandomDocuments) {
  std::mt19937 rng(2024);
  JsonDoc doc;
  for (int round = 0; round < 400; ++round) {
    json document = json::object();
    int members = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < members; ++i) document[RandomKey(rng, i)] = RandomValue(rng, 0);
    // Compact, pretty-printed and ASCII-escaped writings all read the same.
    const std::vector<std::string> writings = {
        document.dump(), document.dump(2), document.dump(-1, ' ', true),
        document.dump(1, '\t', true)};
    for (const std::string& text : writings) {
      CheckPaths(doc, text, document, "", "", 0);
      if (::testing::Test::HasFailure()) {
        FAIL() << "document: " << text;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Bad input never crashes, hangs or recurses without bound.

TEST(JsonDocBadInput, DeepNestingHugeTextAndGarbageBytes) {
  JsonDoc doc;
  const std::size_t depth = 100000;
  std::string deep = std::string(depth, '[') + "7" + std::string(depth, ']');
  EXPECT_EQ(doc.GetValue(deep, "[1].[1].[1]"), std::string(depth - 3, '[') + "7" +
                                                  std::string(depth - 3, ']'));
  std::string deep_objects;
  for (std::size_t i = 0; i < depth; ++i) deep_objects += "{\"a\":";
  deep_objects += "1" + std::string(depth, '}');
  EXPECT_EQ(doc.GetValue(deep_objects, "a.a.a.b"), "");
  EXPECT_EQ(doc.GetValue(std::string(depth, '{'), "a"), "");
  EXPECT_EQ(doc.GetValue(std::string(depth, '['), "[1]"), "");

  // 50 MiB of members, then blanks and quotes in long runs: linear time.
  std::string huge = "{";
  while (huge.size() < 50u * 1024 * 1024) huge += "\"k\":[1,{\"x\":\"  \\\" \"}],";
  huge += "\"last\":\"end\"}";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(doc.GetValue(huge, "last"), "end");
  EXPECT_EQ(doc.StripQuotes(std::string(1 << 20, '\n') + "x"), std::string(1 << 20, '\n') + "x");
  EXPECT_EQ(doc.GetValue(std::string(1 << 20, '"'), "a"), "");
  EXPECT_EQ(doc.SplitPath("\"" + std::string(1 << 20, '.')), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  // NUL bytes, invalid UTF-8 and truncations read as far as they go.
  static constexpr char kNulText[] = R"({"a":"x)" "\0" R"(y","b":)" "\0" "}";
  const std::string nul(kNulText, sizeof kNulText - 1);
  EXPECT_EQ(doc.GetValue(nul, "a"), std::string("x\0y", 3));
  EXPECT_EQ(doc.GetValue(nul, "b"), std::string("\0", 1));
  EXPECT_EQ(doc.GetValue("{\"\xFF\xFE\":\"\xC3\x28\",\"b\":2}", "\xFF\xFE"), "\xC3\x28");
  EXPECT_EQ(doc.GetValue(R"({"a":1)", "a"), "1");
  EXPECT_EQ(doc.GetValue(R"({"a":"cut)", "a"), "cut");
  EXPECT_EQ(doc.GetValue(R"({"a":"x\)", "a"), "x\\");
  EXPECT_EQ(doc.GetValue(R"({"a":"cut,"b":1)", "b"), "");
  std::mt19937 rng(99);
  for (int round = 0; round < 2000; ++round) {
    std::string junk(rng() % 64, '\0');
    // The alphabet of the junk, the NUL byte included.
    static constexpr std::string_view kAlphabet("{}[]\",:\\ a1.\n\xE3\x80\0", 16);
    for (char& c : junk) c = kAlphabet[rng() % kAlphabet.size()];
    std::vector<std::string> elements;
    doc.GetValue(junk, "a.[1]");
    doc.ListElements(junk, true, elements);
    doc.SplitPath(junk);
  }
}

}  // namespace
}  // namespace nuve::core
