#pragma once

#include "sim/projectorstate.h"

#include <QtGlobal>

#include <chrono>
#include <optional>

namespace koru::sim {

// What the simulator does instead of answering properly.
enum class FaultMode {
    None, // answers every frame
    Silent, // reads frames, never answers
    Garbage, // answers every frame with random bytes
    Flood, // sends random bytes at line rate all the time, answers nothing
};

struct SimOptions
{
    std::chrono::milliseconds replyDelay { 20 };
    int baud = 19200;
    FaultMode fault = FaultMode::None;
    // Closes the line on receipt of this many frames; 0 never.
    int hangUpAfterFrames = 0;
    // Seed for the garbage and flood bytes; none means a different stream
    // every run.
    std::optional<quint32> seed;
    ProjectorSetup projector;
};

} // namespace koru::sim
