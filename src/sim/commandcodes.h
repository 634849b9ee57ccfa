#pragma once

#include <QByteArrayView>

#include <string_view>

namespace koru::sim {

// Whether `code` (three characters, without the CR) is one of the codes the
// panel's buttons send. The simulator keeps no list of its own: it reads the
// panel's command catalogue, so a code added there is understood here too.
bool isCommandCode(QByteArrayView code);

// The queries that are answered with status digits instead of an ACK.
inline constexpr std::string_view PowerQuery = "CR0";
inline constexpr std::string_view InputQuery = "CR1";
inline constexpr std::string_view LampHoursQuery = "CR3";
inline constexpr std::string_view SettingQuery = "CR4";

} // namespace koru::sim
