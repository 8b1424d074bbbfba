// What the benchmarks share: bank files to read, a folder to put them in, and a librarian of
// 4,096 slots whose view, prompts, clock and MIDI do nothing but read what a list model reads.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"
#include "files/midi_file.h"
#include "midi/system_backend.h"
#include "support/cancelling_prompts.h"

namespace banklore::bench {

constexpr int kSlots = 4096;

// A 295-byte program dump for `slot`: F0 00 20 29 01 21 00 02 <slot / 128> <slot % 128> ... F7.
inline std::vector<std::uint8_t> bankMessage(int slot) {
  std::vector<std::uint8_t> m = {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x00, 0x02};
  for (int byte : {slot / 128, slot % 128}) m.push_back(static_cast<std::uint8_t>(byte));
  while (m.size() < 294) m.push_back(static_cast<std::uint8_t>((slot + m.size()) & 0x7F));
  m.push_back(0xF7);
  return m;
}

// `count` dumps, one SysEx event each in a .mid, else back to back.
inline bool writeBank(const std::filesystem::path& path, int count) {
  if (path.extension() == ".mid") {
    MidiFileWriter mid;
    bool ok = mid.Open(path.string(), 96);
    for (int slot = 0; slot < count; ++slot) ok = mid.WriteSysEx(bankMessage(slot), 96) && ok;
    return mid.Close() && ok;
  }
  std::ofstream syx(path, std::ios::binary);
  for (int slot = 0; slot < count; ++slot) {
    const std::vector<std::uint8_t> m = bankMessage(slot);
    syx.write(reinterpret_cast<const char*>(m.data()), static_cast<std::streamsize>(m.size()));
  }
  return static_cast<bool>(syx.flush());
}

// A fresh folder, removed with its files afterwards.
struct TempDir {
  std::string path = (std::filesystem::temp_directory_path() / "banklore-bench-XXXXXX").string();
  TempDir() { ::mkdtemp(path.data()); }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

// The benchmarks' instrument in `dir`, chosen by its settings: 4,096 slots of those dumps in 32
// banks of 128, whose header names bank and program.
inline void writeBigInstrument(const TempDir& dir) {
  std::ofstream(dir.file("bench.idf")) << "[Big]\nNumTotalPatches=4096\nNumPatchesPerBank=128\n"
                                          "BankOffset=0\nSend=f0,00,20,29,01,21,u1,02,t1,s1\n"
                                          "DataSize=284\nNamePos=0\nBankNames=A,B,C,D,E,F,G,H,"
                                          "I,J,K,L,M,N,O,P,Q,R,S,T,U,V,W,X,Y,Z,a,b,c,d,e,f\n";
  std::ofstream(dir.file("bench.ini")) << "[General]\nInstrument=Big\n";
}

// Eight characters drawn from `letters`: a small alphabet of both cases makes many names repeat.
inline std::string randomName(std::mt19937& random, std::string_view letters) {
  std::uniform_int_distribution<std::size_t> letter(0, letters.size() - 1);
  std::string name;
  for (int i = 0; i < 8; ++i) name.push_back(letters[letter(random)]);
  return name;
}

struct ReadingView : BankView {
  void rebuildRows(int bank, int rowCount) override {
    for (int i = 0; i < rowCount; ++i) refreshRow(bank, i);  // every cell, as a worst case
  }
  void refreshRow(int bank, int row) override {
    std::string label = rows->label(bank, row), name = rows->name(bank, row);
    benchmark::DoNotOptimize(label);
    benchmark::DoNotOptimize(name);
  }
  void refreshRows(int bank, int first, int last) override {
    for (int row = first; row <= last; ++row) refreshRow(bank, row);  // every cell, as a worst case
  }
  std::vector<int> selectedRows(int) const override { return {}; }
  void setSelection(int, const std::vector<int>&, std::optional<int>) override {}
  void focusList(int) override {}
  void ensureRowVisible(int, int) override {}
  void setStatusText(int, const std::string&) override {}
  void setProgress(int, int, int) override {}
  void beep() override {}
  void setWindowTitle(const std::string&) override {}
  WindowRect windowRect() const override { return {}; }
  void setWindowRect(const WindowRect&) override {}
  void endRun() override {}
  const BankRows* rows = nullptr;
};

// ReadingView keeps no selection; the commands need one.
struct SelectingView : ReadingView {
  std::vector<int> selectedRows(int bank) const override { return selection[bank]; }
  void setSelection(int bank, const std::vector<int>& rows, std::optional<int>) override {
    selection[bank] = rows;
  }
  std::vector<int> selection[2];
};

struct IdleClock : UiClock {
  std::uint32_t nowMs() const override { return 0; }
  void startTimer(int, std::uint32_t, bool, std::function<void()>) override {}
  void stopTimer(int) override {}
  void postToUiThread(std::function<void()>) override {}
};

// Two banks of 4,096 slots of those dumps, whose header names bank and program.
struct Librarian {
  Librarian() {
    writeBigInstrument(dir);
    window = std::make_unique<MainWindow>(ProgramPaths{dir.path + "/", "bench"},
                                          makeNullMidiBackend(), view, prompts, clock);
    view.rows = window.get();
    window->initWindow();
  }
  TempDir dir;
  ReadingView view;
  CancellingPrompts prompts;
  IdleClock clock;
  std::unique_ptr<MainWindow> window;
};

}  // namespace banklore::bench
