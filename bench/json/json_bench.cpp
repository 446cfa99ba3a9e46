// Reads a large service reply the way the list readers do: the body array out
// of the reply, its elements, then one member of the last element. The same
// text parsed once by nlohmann::json is the yardstick. The last line printed
// is "jsondoc_vs_nlohmann: X", the CPU time of the whole sequence divided by
// the CPU time of one parse.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/util/json_doc.h"

namespace {

using nuve::core::JsonDoc;

// {"code":0,"result":true,"message":"ok","responseBody":[...]} with `count`
// objects, each holding a nested array and a nested object; about 1 MiB for
// 10,000 objects.
std::string MakeReply(int count) {
  std::string body;
  for (int i = 0; i < count; ++i) {
    if (i > 0) body += ',';
    const std::string n = std::to_string(i);
    body += R"({"id":)" + n + R"(,"account":"user)" + n + R"(","tags":[)" + n +
            R"(,2,"x"],"profile":{"city":"上海","age":)" + std::to_string(i % 90) +
            R"(,"bio":"say \"hi\""}})";
  }
  return R"({"code":0,"result":true,"message":"ok","responseBody":[)" + body + "]}";
}

const std::string& Reply(int count) {
  static std::map<int, std::string> replies;
  auto it = replies.find(count);
  if (it == replies.end()) it = replies.emplace(count, MakeReply(count)).first;
  return it->second;
}

void JsonDocSequence(benchmark::State& state) {
  const std::string& reply = Reply(static_cast<int>(state.range(0)));
  JsonDoc doc;
  for (auto _ : state) {
    std::string body = doc.GetValue(reply, "responseBody");
    std::vector<std::string> elements;
    doc.ListElements(body, true, elements);
    std::string account = doc.GetValue(elements.back(), "account");
    benchmark::DoNotOptimize(account);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
  state.SetComplexityN(state.range(0));
}

void NlohmannParse(benchmark::State& state) {
  const std::string& reply = Reply(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json parsed = nlohmann::json::parse(reply);
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
  state.SetComplexityN(state.range(0));
}

// The 1 MiB reply, side by side.
BENCHMARK(JsonDocSequence)->Name("jsondoc_sequence_1mib")->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannParse)->Name("nlohmann_parse_1mib")->Arg(10000)->Unit(benchmark::kMillisecond);
// The sequence from 1/4 to 4 times that size, to show the time grows linearly.
BENCHMARK(JsonDocSequence)
    ->Name("jsondoc_sequence_scaling")
    ->RangeMultiplier(2)
    ->Range(2500, 40000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Keeps the CPU time of each run so that main can print the ratio. Both sides
// run on one thread, and CPU time stays steady on a busy machine where wall
// time does not.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colour only on a terminal, so that the last line of a captured run is
  // plain text.
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Time(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  double sequence = reporter.Time("jsondoc_sequence_1mib/10000");
  double parse = reporter.Time("nlohmann_parse_1mib/10000");
  if (sequence > 0 && parse > 0) {
    std::printf("jsondoc_vs_nlohmann: %.3f\n", sequence / parse);
  } else {
    std::printf("jsondoc_vs_nlohmann: n/a\n");
  }
  return 0;
}
