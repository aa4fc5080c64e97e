// Benchmarks of the bundled filters: one 640x480 output frame per iteration, from a
// 320x240 source (2x filters), 213x160 (3x) or 160x120 (4x), for the SSE2, the AVX2
// (where a filter has one and the processor runs it) and the scalar version of each
// filter, on a pixel-art scene and on random noise (the worst case for the pattern
// filters), and memcpy of the same output size (the floor: writing the frame at all).
// After Google Benchmark's own report, a summary gives milliseconds per frame, the
// speed-ups measured in the same run, and the goal per filter.
//
//   build/native/filters/filter_bench [--benchmark_repetitions=N] [--benchmark_filter=REGEX]
//   build/native/filters/filter_bench --ffmpeg-times FILE [benchmark options]
//       also shows FFmpeg's per-frame times read from FILE (bench/ffmpeg_times.py) beside
//       ours, and how many times faster ours is
//   build/native/filters/filter_bench --save-sources DIR
//       writes the scene and noise sources as DIR/<content>-<scale>x.png (for timing
//       other programs on the same pictures) and exits
#include <benchmark/benchmark.h>
#include <stdio.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <string.h>

#include "image.h"
#include "kernels/cpu.h"
#include "kernels/registry.h"
#include "png_image.h"

namespace {

const unsigned kFrameWidth = 640, kFrameHeight = 480;

// Source size that a frame of 640x480 samples down to at a scale (rounded down).
unsigned SourceWidth(unsigned scale) { return kFrameWidth / scale; }
unsigned SourceHeight(unsigned scale) { return kFrameHeight / scale; }

// Goal per output frame, in milliseconds, of the fastest version.
double GoalMs(const FilterInfo& f) {
  if (&f == &kNearest2x) return 0.02;
  if (&f == &kScale2x) return 0.04;
  if (&f == &kMmpx2x) return 0.6;
  // The filters added with hqx: under 1 ms per frame.
  if (&f == &kHq2x || &f == &kHq3x || &f == &kHq4x || &f == &kSai2x || &f == &kSuperSai2x ||
      &f == &kSuperEagle2x || &f == &kLcd3x)
    return 1.0;
  return 2.0;
}

// Filters whose AVX2 version must beat their SSE2 one by this factor.
double Avx2GoalSpeedup(const FilterInfo& f) { return &f == &kScale2x || &f == &kScale4x ? 1.5 : 0.0; }

void CopyFrame(benchmark::State& state, size_t pixels) {
  std::vector<uint16_t> from(pixels, 0x1234), to(pixels);
  for (auto _ : state) {
    memcpy(to.data(), from.data(), pixels * sizeof(uint16_t));
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}
std::string CopyName(unsigned scale) {
  return "memcpy/" + std::to_string(scale * SourceWidth(scale)) + "x" + std::to_string(scale * SourceHeight(scale));
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
  // One frame before timing: tables a filter builds at its first use are not counted.
  kernel(src->pixels.data(), src->pitchBytes(), src->width, src->height, frame.data(),
         kFrameWidth * sizeof(uint16_t), work.empty() ? nullptr : work.data());
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

// FFmpeg's per-frame milliseconds by "<filter> <content>", from bench/ffmpeg_times.py.
std::map<std::string, double> g_ffmpegMs;

void ReadFfmpegTimes(const char* path) {
  std::ifstream in(path);
  std::string filter, content;
  double ms;
  while (in >> filter >> content >> ms) g_ffmpegMs[filter + " " + content] = ms;
}

void PrintSummary(const std::map<std::string, double>& best) {
  printf("\nSummary: CPU ms per 640x480 output frame (fastest run); speed-ups measured in this run.\n");
  printf("memcpy of the output frame (the floor):");
  for (unsigned scale = 2; scale <= 4; ++scale) {
    auto copy = best.find(CopyName(scale));
    if (copy != best.end()) printf("  %s %.4f ms", CopyName(scale).c_str() + 7, copy->second);
  }
  printf("\n%-12s %-8s %-7s %9s %9s %9s %8s %8s %8s %8s  %s\n", "filter", "source", "content", "sse2 ms",
         "avx2 ms", "scalar ms", "sse2/sc", "avx2/sse2", "xmemcpy", "goal ms", "");
  for (size_t i = 0; i < kAllFilterCount; ++i) {
    const FilterInfo& f = *kAllFilters[i];
    auto copy = best.find(CopyName(f.scale));
    for (const Content& c : kContents) {
      auto fast = best.find(BenchName(f, c, "sse2")), scalar = best.find(BenchName(f, c, "scalar"));
      auto avx2 = best.find(BenchName(f, c, "avx2"));
      if (fast == best.end() || scalar == best.end()) continue;
      char source[16], avx2Ms[16] = "-", avx2Speedup[16] = "-";
      snprintf(source, sizeof(source), "%ux%u", SourceWidth(f.scale), SourceHeight(f.scale));
      double fastest = fast->second;
      bool speedupMet = true;
      if (avx2 != best.end()) {
        snprintf(avx2Ms, sizeof(avx2Ms), "%.4f", avx2->second);
        snprintf(avx2Speedup, sizeof(avx2Speedup), "%.2fx", fast->second / avx2->second);
        if (avx2->second < fastest) fastest = avx2->second;
        speedupMet = fast->second / avx2->second >= Avx2GoalSpeedup(f);
      }
      bool met = fastest < GoalMs(f) && speedupMet;
      printf("%-12s %-8s %-7s %9.4f %9s %9.4f %7.2fx %8s %7.1fx %8.2f  %s\n", f.fileName, source, c.name,
             fast->second, avx2Ms, scalar->second, scalar->second / fast->second, avx2Speedup,
             copy != best.end() ? fastest / copy->second : 0.0, GoalMs(f),
             met ? "met" : Avx2GoalSpeedup(f) > 0 && !speedupMet ? "NOT MET (avx2 >= 1.5x sse2)" : "NOT MET");
    }
  }
  if (g_ffmpegMs.empty()) return;
  printf("\nFFmpeg's own filter on the same pictures (single thread; rough: CPU time slopes over\n"
         "repeated frames, decoding subtracted), against our fastest version:\n");
  printf("%-12s %-7s %10s %10s %9s\n", "filter", "content", "ffmpeg ms", "ours ms", "speed-up");
  for (size_t i = 0; i < kAllFilterCount; ++i) {
    const FilterInfo& f = *kAllFilters[i];
    for (const Content& c : kContents) {
      auto ff = g_ffmpegMs.find(std::string(f.fileName) + " " + c.name);
      auto fast = best.find(BenchName(f, c, "sse2"));
      if (ff == g_ffmpegMs.end() || fast == best.end()) continue;
      double ours = fast->second;
      auto avx2 = best.find(BenchName(f, c, "avx2"));
      if (avx2 != best.end() && avx2->second < ours) ours = avx2->second;
      printf("%-12s %-7s %10.3f %10.3f %8.1fx\n", f.fileName, c.name, ff->second, ours, ff->second / ours);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--save-sources") == 0) {
    for (unsigned scale = 2; scale <= 4; ++scale) {
      for (const Content& c : kContents) {
        std::string path = std::string(argv[2]) + "/" + c.name + "-" + std::to_string(scale) + "x.png";
        if (!WritePng(path, c.make(SourceWidth(scale), SourceHeight(scale)))) {
          fprintf(stderr, "cannot write %s\n", path.c_str());
          return 1;
        }
      }
    }
    return 0;
  }
  // Our own option, taken out before Google Benchmark reads the rest.
  for (int k = 1; k + 1 < argc; ++k) {
    if (strcmp(argv[k], "--ffmpeg-times") == 0) {
      ReadFfmpegTimes(argv[k + 1]);
      for (int j = k; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
      argc -= 2;
      break;
    }
  }
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
      if (f->avx2 != nullptr && CpuHasAvx2()) {
        benchmark::RegisterBenchmark(BenchName(*f, c, "avx2").c_str(), FilterFrame, f, f->avx2, src)
            ->Unit(benchmark::kMillisecond);
      }
      benchmark::RegisterBenchmark(BenchName(*f, c, "scalar").c_str(), FilterFrame, f, f->scalar, src)
          ->Unit(benchmark::kMillisecond);
    }
  }
  for (unsigned scale = 2; scale <= 4; ++scale) {
    size_t pixels = (size_t)scale * SourceWidth(scale) * scale * SourceHeight(scale);
    benchmark::RegisterBenchmark(CopyName(scale).c_str(), CopyFrame, pixels)->Unit(benchmark::kMillisecond);
  }

  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter.bestMs);
  benchmark::Shutdown();
  return 0;
}
