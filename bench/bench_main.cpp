// The benchmark program's main(): Google Benchmark's own, around the one QApplication that the
// benchmarks showing a window need. Made here, it goes at the end of main(), before Qt's own
// statics; a static one was destroyed after them and crashed the program on its way out.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
