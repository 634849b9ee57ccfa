#include "common/stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace koru::bench {

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double rank = p / 100.0 * double(values.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, values.size() - 1);
    const double fraction = rank - double(below);
    return values[below] + (values[above] - values[below]) * fraction;
}

Summary summarize(const std::vector<double> &values)
{
    Summary s;
    s.count = values.size();
    if (values.empty())
        return s;
    s.p50 = percentile(values, 50);
    s.p99 = percentile(values, 99);
    s.max = *std::max_element(values.begin(), values.end());
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    return s;
}

double median(const std::vector<double> &values)
{
    return percentile(values, 50);
}

} // namespace koru::bench
