#pragma once

#include <QByteArrayView>

#include <array>
#include <string_view>

namespace koru::sim {

// The command codes the simulated projector understands: the 45 codes the
// panel's buttons send. The panel keeps its own catalogue with captions and
// button kinds; this list only tells the simulator which frames are valid.
inline constexpr std::size_t CommandCodeCount = 45;
const std::array<std::string_view, CommandCodeCount> &commandCodes();

bool isCommandCode(QByteArrayView code);

// The queries that are answered with status digits instead of an ACK.
inline constexpr std::string_view PowerQuery = "CR0";
inline constexpr std::string_view InputQuery = "CR1";
inline constexpr std::string_view LampHoursQuery = "CR3";
inline constexpr std::string_view SettingQuery = "CR4";

} // namespace koru::sim
