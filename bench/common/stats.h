#pragma once

#include <cstddef>
#include <vector>

namespace koru::bench {

struct Summary
{
    std::size_t count = 0;
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    double mean = 0;
};

// The p-th percentile (0..100), interpolating linearly between the two
// nearest ranks; 0 for no values.
double percentile(std::vector<double> values, double p);

Summary summarize(const std::vector<double> &values);

double median(const std::vector<double> &values);

} // namespace koru::bench
