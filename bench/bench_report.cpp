// Shared main for every benchmark program. Runs the registered benchmarks and, besides
// Google Benchmark's own table, prints one machine-readable line per figure:
//   figure: <name> = <value> <unit>
// and, for every pair named "<figure>/ours" and "<figure>/reference",
//   ratio: <figure> = <ours / reference>
// and for "<figure>/ours" beside any other "<figure>/<peer>",
//   ratio: <figure>_vs_<peer> = <ours / peer>
// Throughput figures come from SetItemsProcessed (items per second, higher is better); the
// benchmark's label, when set, names the unit ("frames/s", "messages/s"). With repetitions a
// figure is the median of its repetitions, so one disturbed run does not move it. A program
// built with CORVINA_BENCH_INTERLEAVE runs its benchmarks' repetitions in random order, so a
// change of machine load falls on ours and the references alike.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Figure {
  std::vector<double> rates;
  std::string unit;

  double Median() const {
    std::vector<double> sorted = rates;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    if (n == 0) return 0.0;
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
  }
};

class FigureReporter : public benchmark::ConsoleReporter {
 public:
  // Colour codes only on a terminal: piped output is read by scripts line by line.
  FigureReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto it = run.counters.find("items_per_second");
      if (it == run.counters.end()) continue;
      // Repetitions of one benchmark share one figure.
      benchmark::BenchmarkName id = run.run_name;
      id.repetitions.clear();
      id.min_time.clear();
      const std::string name = id.str();
      auto [slot, added] = figures_.try_emplace(name);
      if (added) order_.push_back(name);
      slot->second.rates.push_back(it->second.value);
      slot->second.unit = run.report_label.empty() ? "items/s" : run.report_label;
    }
  }

  void PrintSummary() const {
    for (const std::string& name : order_) {
      const Figure& f = figures_.at(name);
      std::printf("figure: %s = %.1f %s\n", name.c_str(), f.Median(), f.unit.c_str());
    }
    const std::string ours = "/ours";
    for (const std::string& name : order_) {
      if (name.size() <= ours.size() || name.compare(name.size() - ours.size(), ours.size(), ours) != 0) continue;
      std::string stem = name.substr(0, name.size() - ours.size());
      const double rate = figures_.at(name).Median();
      for (const std::string& other : order_) {
        if (other == name || other.rfind(stem + "/", 0) != 0) continue;
        const Figure& ref = figures_.at(other);
        const double refRate = ref.Median();
        if (refRate <= 0.0) continue;
        const std::string peer = other.substr(stem.size() + 1);
        if (peer == "reference") std::printf("ratio: %s = %.2f\n", stem.c_str(), rate / refRate);
        else std::printf("ratio: %s_vs_%s = %.2f\n", stem.c_str(), peer.c_str(), rate / refRate);
      }
    }
    std::fflush(stdout);
  }

 private:
  std::map<std::string, Figure> figures_;
  std::vector<std::string> order_;
};

}  // namespace

int main(int argc, char** argv) {
#ifdef CORVINA_BENCH_INTERLEAVE
  // Placed first so that a flag given on the command line still overrides it.
  std::vector<char*> args(argv, argv + argc);
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FigureReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
