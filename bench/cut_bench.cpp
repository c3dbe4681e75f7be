// Throughput of the job's picture-value cut (AllTextsBetween with
// {"imageUrl":" and ".jpg", case ignored) against two yardsticks measured in
// the same run: a memmem-based cut of the same markers (exact case, no
// character stepping: the practical floor) and a plain loop that steps one
// character at a time (what a straightforward reading of the rules gives).
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "reference_text.h"
#include "text/between.h"

namespace {

using orvalin::Text;
using orvalin::TextArray;

const char kLeft[] = "{\"imageUrl\":\"";
const char kRight[] = ".jpg";

std::string ReadPage(const char* name) {
  std::ifstream in(std::string(ORVALIN_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// About 1 MB of mixed text: runs of GBK characters (some with trail bytes in
// the ASCII range), markup, and about 300 picture values.
std::string SyntheticPage() {
  std::mt19937 rng(1688);
  std::string page;
  int picture = 0;
  while (page.size() < (1u << 20)) {
    for (int i = 0; i < 1650; ++i) {
      page += static_cast<char>(0xB0 + rng() % 0x40);
      page += static_cast<char>(rng() % 4 == 0 ? 0x40 + rng() % 0x3F : 0xA1 + rng() % 0x5E);
    }
    page += "<div class=\"sku\" data-x=\"";
    page += std::to_string(rng());
    page += "\">{\"imageUrl\":\"https://img.example/ibank/O1CN01pic" + std::to_string(++picture) +
            "_!!123-0-cib.jpg\",\"name\":\"\xBA\xEC\xC9\xAB\"}</div>\n";
  }
  return page;
}

// Near-misses everywhere: every 16-byte block holds candidates for both
// markers' first and last bytes, between runs of lead bytes.
std::string AdversarialPage() {
  std::string page;
  while (page.size() < (1u << 20)) page += "{\"imageUrX\":\"\xB0\xB0\xB0.jpX{\"\"\xB0";
  return page;
}

const std::string& Page(int which) {
  static const std::string pages[] = {ReadPage("offer_603454384329.html"), SyntheticPage(),
                                      AdversarialPage()};
  return pages[which];
}
const char* kPageNames[] = {"real 3.7MB page", "synthetic 1MB page", "adversarial 1MB page"};

void CutFast(benchmark::State& state) {
  const Text page(Page(state.range(0)));
  TextArray values;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvalin::AllTextsBetween(page, kLeft, kRight, values));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.Size());
  state.SetLabel(std::to_string(orvalin::ArrayCount(values)) + " values");
}

// The floor: memmem for each marker, the cut copied out, no case folding,
// no character stepping, no trimming.
void CutMemmem(benchmark::State& state) {
  const std::string& page = Page(state.range(0));
  std::vector<std::string> values;
  const std::size_t leftLength = std::strlen(kLeft), rightLength = std::strlen(kRight);
  for (auto _ : state) {
    values.clear();
    const char* at = page.data();
    const char* end = page.data() + page.size();
    for (;;) {
      const char* left = static_cast<const char*>(memmem(at, end - at, kLeft, leftLength));
      if (left == nullptr) break;
      const char* cut = left + leftLength;
      const char* right = static_cast<const char*>(memmem(cut, end - cut, kRight, rightLength));
      if (right == nullptr) break;
      values.emplace_back(cut, right);
      at = right;
    }
    benchmark::DoNotOptimize(values.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}

// One character at a time, comparing at every candidate.
void CutStepping(benchmark::State& state) {
  const std::string& page = Page(state.range(0));
  std::vector<std::string> values;
  for (auto _ : state) {
    values.clear();
    int from = 1;
    for (;;) {
      const int left = orvalin::reference::FindText(page, kLeft, from, true);
      if (left < 1) break;
      const int cut = left + static_cast<int>(std::strlen(kLeft));
      const int right = orvalin::reference::FindText(page, kRight, cut, true);
      if (right < 1) break;
      values.emplace_back(page.substr(cut - 1, right - cut));
      from = right;
    }
    benchmark::DoNotOptimize(values.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}

BENCHMARK(CutFast)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(CutMemmem)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(CutStepping)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// Prints the usual table, then the ratios of the same run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto found = run.counters.find("bytes_per_second");
      if (found != run.counters.end()) throughput_[run.benchmark_name()] = found->second.value;
    }
  }

  void PrintRatios() const {
    std::printf("\n%-22s %12s %12s %12s %14s %14s\n", "page", "cut GB/s", "memmem GB/s",
                "stepping GB/s", "cut/memmem", "cut/stepping");
    for (int page = 0; page < 3; ++page) {
      const double fast = Get("CutFast", page), floor = Get("CutMemmem", page),
                   stepping = Get("CutStepping", page);
      std::printf("%-22s %12.2f %12.2f %12.2f %14.2f %14.1f\n", kPageNames[page], fast / 1e9,
                  floor / 1e9, stepping / 1e9, fast / floor, fast / stepping);
    }
  }

 private:
  double Get(const char* name, int page) const {
    auto found = throughput_.find(std::string(name) + "/" + std::to_string(page));
    return found == throughput_.end() ? 0 : found->second;
  }
  std::map<std::string, double> throughput_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
