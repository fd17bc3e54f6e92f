// The address book's CSV import: 2,000 rows (first and last name, number, e-mail, all names
// distinct) into an empty contacts file, through the same progress callback calls the window
// makes, until the file on disk holds them all. Wall time, since that is what the user waits:
//   figure: import 2000 contacts ms = <milliseconds per import> ms
// Every import gets a new file in a fresh folder under /tmp, removed at the end.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "contacts/contacts_csv.h"
#include "contacts/ini_contact_store.h"

namespace {

using namespace corvina::contacts;

constexpr int kRows = 2000;

// Counts the calls, as a window would draw them.
class Shown final : public ProgressCallback {
 public:
  void Begin(const std::string&) override {}
  void Update(const std::string& line, double fraction) override {
    benchmark::DoNotOptimize(line.size());
    benchmark::DoNotOptimize(fraction);
  }
  bool Cancelled() override { return false; }
};

double& ImportMs() {
  static double ms = 0.0;
  return ms;
}

void ImportContacts(benchmark::State& state) {
  char pattern[] = "/tmp/corvina-contacts-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::filesystem::path folder = pattern;
  const std::string csv = (folder / "rows.csv").string();
  {
    std::ofstream out(csv, std::ios::binary);
    for (int i = 0; i < kRows; ++i) {
      out << "\"Given" << i << "\",\"Family" << i * 7 << "\",\"sip:" << 1000 + i << "@127.0.0.1\",\"user" << i
          << "@example.org\"\r\n";
    }
  }
  int run = 0;
  double totalMs = 0.0;
  for (auto _ : state) {
    IniContactStore store((folder / ("contacts" + std::to_string(run++) + ".ini")).string());
    Shown shown;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const long added = ImportContactsCsv(store, csv, &shown, error);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (added != kRows) {
      state.SkipWithError("the import did not add every row");
      break;
    }
    state.SetIterationTime(took.count());
    totalMs += took.count() * 1000.0;
  }
  if (run > 0) ImportMs() = totalMs / run;
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  state.SetItemsProcessed(state.iterations() * kRows);
  state.SetLabel("contacts/s");
}
BENCHMARK(ImportContacts)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void ImportFigures(benchmark::State& state) {
  for (auto _ : state) {
  }
  std::printf("figure: import %d contacts ms = %.1f ms\n", kRows, ImportMs());
  std::fflush(stdout);
}
BENCHMARK(ImportFigures)->Iterations(1);

}  // namespace
