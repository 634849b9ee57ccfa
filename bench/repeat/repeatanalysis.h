#pragma once

#include "common/stats.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace koru::bench {

struct RepeatFigures
{
    std::size_t frames = 0;
    double rate = 0;             // frames per second, first to last frame
    double idealRate = 0;        // 1000 / period
    double rateErrorPercent = 0; // signed: negative is slow
    Summary deviationMs;         // |interval - period| over every interval
    double firstFrameMs = 0;     // from the press to the first frame
};

// Figures of one hold from the arrival stamps of its frames (monotonic ns, the
// first being the press's own frame).
RepeatFigures analyseRepeat(const std::vector<std::int64_t> &stamps, std::int64_t pressNs,
                            std::chrono::milliseconds period);

} // namespace koru::bench
