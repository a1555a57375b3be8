#pragma once

// One row of the benchmark table that bench/run-all.sh collects: every line
// a benchmark prints that starts with "| " is a row.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

inline void row(const std::string& figure, const std::string& value, const std::string& goal,
                bool held) {
    std::printf("| %s | %s | %s | %s |\n", figure.c_str(), value.c_str(), goal.c_str(),
                held ? "yes" : "NO");
    std::fflush(stdout);
}

// A row with no goal: a figure worth knowing that no goal covers.
inline void info(const std::string& figure, const std::string& value, const std::string& note) {
    std::printf("| %s | %s | %s | - |\n", figure.c_str(), value.c_str(), note.c_str());
    std::fflush(stdout);
}

inline std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

inline double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double mean(const std::vector<double>& values) {
    double sum = 0;
    for (const double value : values) {
        sum += value;
    }
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

}  // namespace bench
