// Frame throughput of the command queue, reported as a ratio against copying
// the same bytes (the baseline measured in the same run), so the figure does
// not depend on the machine's speed.
//
//   bench_frames [--benchmark_min_time=0.2]
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>
#include <map>
#include <string>

#include "Ccci.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;

namespace {
constexpr int CFrames = 1000;

QByteArray Burst(int payload) {
  QByteArray all;
  for (int i = 0; i < CFrames; ++i)
    all += BuildStreamData(test::Dev(uint32_t(i)), 0x04FFFFFF, {uint32_t(i), 0}, QByteArray(payload, 'v'));
  return all;
}

void Baseline_CopyBytes(benchmark::State& state) {
  const QByteArray bytes = Burst(int(state.range(0)));
  for (auto _ : state) {
    QByteArray copy(bytes.constData(), bytes.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void EvaluateBurst(benchmark::State& state) {
  const QByteArray bytes = Burst(int(state.range(0)));
  test::TFakeClock clock;
  test::TTestComUnit unit(clock);
  unit.FOnLogCallBack = nullptr;
  for (auto _ : state) {
    // Cut into whole frames as the reader does, each evaluated on its own.
    unit.Deliver(bytes);
    unit.Handled.clear();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void EvaluateBurstWithLogging(benchmark::State& state) {
  const QByteArray bytes = Burst(int(state.range(0)));
  test::TFakeClock clock;
  test::TTestComUnit unit(clock);
  int lines = 0;
  unit.FOnLogCallBack = [&lines](QObject*, const QString&, bool) { ++lines; };
  for (auto _ : state) {
    unit.Deliver(bytes);
    unit.Handled.clear();
  }
  benchmark::DoNotOptimize(lines);
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void BuildFileNameFrames(benchmark::State& state) {
  const THeaderContext ctx = test::Dev();
  for (auto _ : state) {
    for (int i = 0; i < CFrames; ++i) {
      QByteArray f = BuildFileName(ctx, 5, 0, 17, "event-2026-12-05.dat", uint32_t(i));
      benchmark::DoNotOptimize(f.data());
    }
  }
}

BENCHMARK(Baseline_CopyBytes)->Arg(64)->Arg(2320);
BENCHMARK(EvaluateBurst)->Arg(64)->Arg(2320);
BENCHMARK(EvaluateBurstWithLogging)->Arg(64)->Arg(2320);
BENCHMARK(BuildFileNameFrames);

// Collects the times so the ratios can be printed after the run.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) Times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Times;
};
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* size : {"64", "2320"}) {
    const std::string base = std::string("Baseline_CopyBytes/") + size;
    if (!reporter.Times.count(base)) continue;
    for (const char* name : {"EvaluateBurst/", "EvaluateBurstWithLogging/"}) {
      const std::string key = std::string(name) + size;
      if (reporter.Times.count(key))
        std::printf("ratio %-32s / copy: %8.1f\n", key.c_str(), reporter.Times[key] / reporter.Times[base]);
    }
  }
  benchmark::Shutdown();
  return 0;
}
