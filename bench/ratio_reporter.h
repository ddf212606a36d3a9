// Console reporter for the toolkit's benchmarks that also keeps each
// benchmark's real time, CPU time and bytes per second (the median when runs
// are repeated), so a benchmark program can print ratios after the runs.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(OutputOptions options = OO_Defaults) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (!run.aggregate_name.empty() && run.aggregate_name != "median") continue;
      const std::string& name = run.run_name.function_name;
      realTimes[name] = run.GetAdjustedRealTime();
      cpuTimes[name] = run.GetAdjustedCPUTime();
      auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) rates[name] = rate->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::map<std::string, double> realTimes;
  std::map<std::string, double> cpuTimes;
  std::map<std::string, double> rates;
};
