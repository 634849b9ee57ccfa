#include "commandcodes.h"

#include <algorithm>

namespace koru::sim {

const std::array<std::string_view, CommandCodeCount> &commandCodes()
{
    static constexpr std::array<std::string_view, CommandCodeCount> codes {
        // power, input, menu
        "C00", "C02", "C05", "C06", "C07", "C1C", "C1D",
        // audio and video mute, freeze, screen, MCI page
        "C0B", "C0C", "C0D", "C0E", "C43", "C44", "C0F", "C10", "C59", "C5A",
        // volume, zoom, focus, brightness, digital zoom, keystone
        "C09", "C0A", "C47", "C46", "C4B", "C4A", "C20", "C21", "C30", "C31", "C8E", "C8F",
        // cursor pad
        "C3C", "C3D", "C3B", "C3A", "C3F", "C3E",
        // zoom and focus modes, auto image, normal, display clear
        "C80", "C87", "C89", "C1F", "C1E",
        // queries, and the second power-off code
        "CR0", "CR1", "CR3", "CR4", "C01",
    };
    return codes;
}

bool isCommandCode(QByteArrayView code)
{
    const std::string_view wanted(code.data(), std::size_t(code.size()));
    const auto &codes = commandCodes();
    return std::find(codes.begin(), codes.end(), wanted) != codes.end();
}

} // namespace koru::sim
