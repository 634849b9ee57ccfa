#include "repeat/repeatanalysis.h"

#include <cmath>

namespace koru::bench {

RepeatFigures analyseRepeat(const std::vector<std::int64_t> &stamps, std::int64_t pressNs,
                            std::chrono::milliseconds period)
{
    RepeatFigures f;
    const double periodMs = double(period.count());
    f.idealRate = 1000.0 / periodMs;
    f.frames = stamps.size();
    if (stamps.size() < 2)
        return f;
    f.firstFrameMs = double(stamps.front() - pressNs) / 1e6;
    const double spanS = double(stamps.back() - stamps.front()) / 1e9;
    f.rate = double(stamps.size() - 1) / spanS;
    f.rateErrorPercent = (f.rate / f.idealRate - 1.0) * 100.0;
    std::vector<double> deviations;
    deviations.reserve(stamps.size() - 1);
    for (std::size_t i = 1; i < stamps.size(); ++i)
        deviations.push_back(std::abs(double(stamps[i] - stamps[i - 1]) / 1e6 - periodMs));
    f.deviationMs = summarize(deviations);
    return f;
}

} // namespace koru::bench
