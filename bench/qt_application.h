// The benchmark program's one QApplication, made by its main() (bench_main.cpp) before any
// benchmark runs; Qt allows only one per process.
#pragma once

#include <QApplication>

namespace banklore::bench {

inline QApplication& application() {
  return *static_cast<QApplication*>(QCoreApplication::instance());
}

}  // namespace banklore::bench
