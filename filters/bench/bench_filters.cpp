// Benchmarks of the bundled filters: one 640x480 output frame per iteration, from a
// 320x240 source (2x filters), 213x160 (3x) or 160x120 (4x), for the SSE2 and the
// scalar version of each filter, on a pixel-art scene and on random noise (the worst
// case for the pattern filters). After Google Benchmark's own report, a summary gives
// milliseconds per frame, the speed-up of SSE2 over scalar measured in the same run,
// and the goal per filter.
//
//   build/native/filters/filter_bench [--benchmark_repetitions=N] [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "image.h"
#include "kernels/registry.h"

namespace {

const unsigned kFrameWidth = 640, kFrameHeight = 480;

// Source size that a frame of 640x480 samples down to at a scale (rounded down).
unsigned SourceWidth(unsigned scale) { return kFrameWidth / scale; }
unsigned SourceHeight(unsigned scale) { return kFrameHeight / scale; }

// Goal per output frame, in milliseconds.
double GoalMs(const FilterInfo& f) {
  if (&f == &kNearest2x) return 0.02;
  if (&f == &kScale2x) return 0.04;
  if (&f == &kMmpx2x) return 0.6;
  return 2.0;
}

struct Content {
  const char* name;
  Image (*make)(unsigned width, unsigned height);
};
Image Noise(unsigned width, unsigned height) { return RandomImage(width, height, 0, 12345); }
const Content kContents[] = {{"scene", SceneImage}, {"noise", Noise}};

void FilterFrame(benchmark::State& state, const FilterInfo* f, FilterFn kernel, const Image* src) {
  std::vector<uint16_t> frame((size_t)kFrameWidth * kFrameHeight);
  std::vector<uint8_t> work(f->workBytes ? f->workBytes(src->width, src->height) : 0);
  for (auto _ : state) {
    kernel(src->pixels.data(), src->pitchBytes(), src->width, src->height, frame.data(),
           kFrameWidth * sizeof(uint16_t), work.empty() ? nullptr : work.data());
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)src->width * src->height);
}

// Keeps the fastest CPU time per frame of every benchmark (over repetitions), then shows
// Google Benchmark's usual report.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> bestMs;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
      // CPU time of the benchmark's thread: on a shared machine it does not count the
      // time other processes take the core away.
      double ms = run.cpu_accumulated_time * 1e3 / (double)run.iterations;
      std::string name = run.benchmark_name();
      name = name.substr(0, name.find("/repeats:"));
      auto found = bestMs.find(name);
      if (found == bestMs.end() || ms < found->second) bestMs[name] = ms;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

std::string BenchName(const FilterInfo& f, const Content& c, const char* variant) {
  return std::string(f.fileName) + "/" + c.name + "/" + variant;
}

void PrintSummary(const std::map<std::string, double>& best) {
  printf("\nSummary: CPU ms per 640x480 output frame (fastest run), SSE2 speed-up over scalar\n");
  printf("%-12s %-8s %-7s %10s %10s %8s %8s  %s\n", "filter", "source", "content", "sse2 ms",
         "scalar ms", "speedup", "goal ms", "");
  for (size_t i = 0; i < kAllFilterCount; ++i) {
    const FilterInfo& f = *kAllFilters[i];
    for (const Content& c : kContents) {
      auto fast = best.find(BenchName(f, c, "sse2")), scalar = best.find(BenchName(f, c, "scalar"));
      if (fast == best.end() || scalar == best.end()) continue;
      char source[16];
      snprintf(source, sizeof(source), "%ux%u", SourceWidth(f.scale), SourceHeight(f.scale));
      bool met = fast->second < GoalMs(f);
      printf("%-12s %-8s %-7s %10.4f %10.4f %7.2fx %8.2f  %s\n", f.fileName, source, c.name, fast->second,
             scalar->second, scalar->second / fast->second, GoalMs(f), met ? "met" : "NOT MET");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::vector<Image> sources;  // one per filter and content, kept alive for the run
  sources.reserve(kAllFilterCount * (sizeof(kContents) / sizeof(kContents[0])));
  for (size_t i = 0; i < kAllFilterCount; ++i) {
    const FilterInfo* f = kAllFilters[i];
    for (const Content& c : kContents) {
      sources.push_back(c.make(SourceWidth(f->scale), SourceHeight(f->scale)));
      const Image* src = &sources.back();
      if (f->hasSse2) {
        benchmark::RegisterBenchmark(BenchName(*f, c, "sse2").c_str(), FilterFrame, f, f->fast, src)
            ->Unit(benchmark::kMillisecond);
      }
      benchmark::RegisterBenchmark(BenchName(*f, c, "scalar").c_str(), FilterFrame, f, f->scalar, src)
          ->Unit(benchmark::kMillisecond);
    }
  }

  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter.bestMs);
  benchmark::Shutdown();
  return 0;
}
