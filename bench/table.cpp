#include "table.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Bench {

namespace {

constexpr double kNoFigure = std::numeric_limits<double>::quiet_NaN();

double RatioOf(const Line& line) {
    if (line.baselines.empty() || line.baselines.size() != line.values.size()) return kNoFigure;
    std::vector<double> ratios;
    for (std::size_t i = 0; i < line.values.size(); ++i) {
        if (line.baselines[i] > 0) ratios.push_back(line.values[i] / line.baselines[i]);
    }
    return Median(ratios);
}

std::string Number(double value, int decimals) {
    if (std::isnan(value)) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string TargetText(const Target& target) {
    char text[64];
    switch (target.kind) {
        case Target::kRatioAtMost:
            std::snprintf(text, sizeof text, "ratio <= %g", target.limit);
            break;
        case Target::kRatioAtLeast:
            std::snprintf(text, sizeof text, "ratio >= %g", target.limit);
            break;
        case Target::kValueAtMost:
            std::snprintf(text, sizeof text, "<= %g", target.limit);
            break;
        case Target::kNone:
            return "-";
    }
    return text;
}

// Whether the line meets its target; lines without one always do.
bool Meets(const Line& line) {
    const double value = Median(line.values);
    const double ratio = RatioOf(line);
    switch (line.target.kind) {
        case Target::kRatioAtMost:
            return ratio <= line.target.limit;
        case Target::kRatioAtLeast:
            return ratio >= line.target.limit;
        case Target::kValueAtMost:
            return value <= line.target.limit;
        case Target::kNone:
            return true;
    }
    return true;
}

}  // namespace

double Median(std::vector<double> values) {
    if (values.empty()) return kNoFigure;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void Table::Print(std::FILE* out, bool judge) const {
    const char* format = "%-10s %-44s %12s %12s %7s %-12s %s\n";
    std::fprintf(out, format, "row", "measure", "library", "baseline", "ratio", "target", "result");
    for (const Line& line : lines_) {
        const double ratio = RatioOf(line);
        const char* result = line.target.kind == Target::kNone ? ""
                             : !judge                          ? "(smoke)"
                             : Meets(line)                     ? "pass"
                                                               : "FAIL";
        std::fprintf(out, format, line.row.c_str(), line.measure.c_str(),
                     Number(Median(line.values), line.decimals).c_str(),
                     Number(Median(line.baselines), line.decimals).c_str(), Number(ratio, 2).c_str(),
                     TargetText(line.target).c_str(), result);
    }
}

int Table::Failures() const {
    int failures = 0;
    for (const Line& line : lines_) failures += Meets(line) ? 0 : 1;
    return failures;
}

}  // namespace Bench
