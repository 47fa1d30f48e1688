// The one table the benchmark prints: each figure beside its baseline from
// the same run, the ratio, and the target it must meet.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace Bench {

struct Target {
    enum Kind { kNone, kRatioAtMost, kRatioAtLeast, kValueAtMost };
    Kind kind = kNone;
    double limit = 0;
};

// One line: a figure measured once per repetition, with its baseline from
// the same repetition where there is one.
struct Line {
    std::string row;      // "1", "1 logged", ...
    std::string measure;  // what the figure is, with its unit
    std::vector<double> values;
    std::vector<double> baselines;  // empty: no baseline
    Target target;
    int decimals = 1;
};

double Median(std::vector<double> values);

class Table {
public:
    void Add(Line line) { lines_.push_back(std::move(line)); }
    // Figures are medians over the repetitions; the ratio is the median of
    // the per-repetition ratios, so a slow moment moves both sides at once.
    void Print(std::FILE* out, bool judge) const;
    // Lines with a target that the medians do not meet.
    int Failures() const;

private:
    std::vector<Line> lines_;
};

}  // namespace Bench
