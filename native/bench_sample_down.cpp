// Benchmarks the sampling-down kernel per frame: the SSE2 kernel, the plain scalar loop
// (one 16-bit copy per pixel) and memcpy of the source image's bytes, then prints the
// ratios of each frame size and factor from this one run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sample_down.h"

namespace {

struct Frame {
  uint32_t width, height, s;
};
const Frame Frames[] = {{640, 480, 2}, {640, 480, 3}, {640, 480, 4}, {1920, 1080, 2}};

enum Kind { Fast, Scalar, Copy };
const char* const KindNames[] = {"sse2", "scalar", "memcpy"};

void Run(benchmark::State& state, Frame f, Kind kind)
{
  std::vector<uint16_t> frame(size_t(f.width) * f.height);
  for (size_t i = 0; i < frame.size(); ++i)
    frame[i] = static_cast<uint16_t>(i * 2654435761u >> 7);
  const uint32_t w = f.width / f.s, h = f.height / f.s;
  std::vector<uint16_t> out(size_t(w) * h);
  for (auto _ : state) {
    switch (kind) {
      case Fast: SampleDown(frame.data(), f.width * 2, f.s, out.data(), w * 2, w, h); break;
      case Scalar: SampleDownScalar(frame.data(), f.width * 2, f.s, out.data(), w * 2, w, h); break;
      case Copy: std::memcpy(out.data(), frame.data(), out.size() * 2); break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

std::string Name(Frame f, Kind kind)
{
  return std::to_string(f.width) + "x" + std::to_string(f.height) + "/s" + std::to_string(f.s) + "/" + KindNames[kind];
}

// Keeps each benchmark's time per iteration (ms) for the ratio table.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override
  {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration)
        ms[run.benchmark_name()] = run.GetAdjustedRealTime() / 1e6;  // ns -> ms
  }
  std::map<std::string, double> ms;
};

}  // namespace

int main(int argc, char** argv)
{
  for (const Frame& f : Frames)
    for (Kind k : {Fast, Scalar, Copy})
      benchmark::RegisterBenchmark(Name(f, k).c_str(), Run, f, k)->Unit(benchmark::kNanosecond);
  benchmark::Initialize(&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  std::printf("\nSampling down, ms per frame (one run)\n");
  std::printf("%-16s %10s %10s %10s %14s %14s\n", "frame", "sse2", "scalar", "memcpy", "scalar/sse2", "sse2/memcpy");
  for (const Frame& f : Frames) {
    const double fast = collector.ms[Name(f, Fast)], scalar = collector.ms[Name(f, Scalar)],
                 copy = collector.ms[Name(f, Copy)];
    const std::string frame = std::to_string(f.width) + "x" + std::to_string(f.height) + " s=" + std::to_string(f.s);
    std::printf("%-16s %10.4f %10.4f %10.4f %13.2fx %13.2fx\n", frame.c_str(), fast, scalar, copy,
                fast > 0 ? scalar / fast : 0.0, copy > 0 ? fast / copy : 0.0);
  }
  return 0;
}
