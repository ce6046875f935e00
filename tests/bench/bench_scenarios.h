// Shared pieces of the benchmark program.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ksbench {

struct Stats {
    double median = 0;  // milliseconds per call
    double low = 0;     // 10th percentile
    double high = 0;    // 90th percentile
};

struct Row {
    std::string name;
    Stats call;
    Stats floor;
    bool hasFloor = false;
    std::string note;
};

double NowMs();
// Median and 10th/90th percentiles of samples in milliseconds.
Stats Summarise(std::vector<double> samples);
// `rounds` samples, each the mean of `perRound` calls, after one warm-up call.
Stats Measure(int rounds, int perRound, const std::function<void()>& body);
void Report(const std::string& name, const Stats& call, const Stats* floor, const std::string& note);

// The scenarios that need the stand-in host: connection, branding, the two send commands.
void RunHostScenarios();

}  // namespace ksbench
