// Shared main for every benchmark program. Runs the registered benchmarks and, besides
// Google Benchmark's own table, prints one machine-readable line per figure:
//   figure: <name> = <value> <unit>
// and, for every pair named "<figure>/ours" and "<figure>/reference",
//   ratio: <figure> = <ours / reference>
// and for "<figure>/ours" beside any other "<figure>/<peer>",
//   ratio: <figure>_vs_<peer> = <ours / peer>
// Throughput figures come from SetItemsProcessed (items per second, higher is better); the
// benchmark's label, when set, names the unit ("frames/s", "messages/s").
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Figure {
  double rate = 0.0;
  double sum = 0.0;
  int count = 0;
  std::string unit;
};

class FigureReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto it = run.counters.find("items_per_second");
      if (it == run.counters.end()) continue;
      // With --benchmark_repetitions a figure is the mean of its repetitions.
      const std::string name = run.benchmark_name();
      auto [slot, added] = figures_.try_emplace(name);
      if (added) order_.push_back(name);
      slot->second.sum += it->second.value;
      slot->second.count += 1;
      slot->second.rate = slot->second.sum / slot->second.count;
      slot->second.unit = run.report_label.empty() ? "items/s" : run.report_label;
    }
  }

  void PrintSummary() const {
    for (const std::string& name : order_) {
      const Figure& f = figures_.at(name);
      std::printf("figure: %s = %.1f %s\n", name.c_str(), f.rate, f.unit.c_str());
    }
    const std::string ours = "/ours";
    for (const std::string& name : order_) {
      if (name.size() <= ours.size() || name.compare(name.size() - ours.size(), ours.size(), ours) != 0) continue;
      std::string stem = name.substr(0, name.size() - ours.size());
      const double rate = figures_.at(name).rate;
      for (const std::string& other : order_) {
        if (other == name || other.rfind(stem + "/", 0) != 0) continue;
        const Figure& ref = figures_.at(other);
        if (ref.rate <= 0.0) continue;
        const std::string peer = other.substr(stem.size() + 1);
        if (peer == "reference") std::printf("ratio: %s = %.2f\n", stem.c_str(), rate / ref.rate);
        else std::printf("ratio: %s_vs_%s = %.2f\n", stem.c_str(), peer.c_str(), rate / ref.rate);
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
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FigureReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
