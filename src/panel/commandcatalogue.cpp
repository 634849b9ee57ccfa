#include "panel/commandcatalogue.h"

#include <array>

namespace koru {
namespace {

using namespace std::chrono_literals;

constexpr CommandKind OneShot = CommandKind::OneShot;
constexpr CommandKind Hold = CommandKind::Hold;
constexpr CommandKind Arrow = CommandKind::Arrow;

constexpr HoldTiming kAdjust { 250ms, 200ms, 245ms };  // VOL, Bright, D.Zoom, Keystone
constexpr HoldTiming kLens { 50ms, 25ms, 25ms };       // Zoom, Focus
constexpr HoldTiming kPointer { 500ms, 200ms, 245ms }; // SELECT, R-CLICK

constexpr ModeEffect kMenuMode { 200ms, 1 };
constexpr ModeEffect kLensMode { 50ms, 2 };
constexpr ModeEffect kDZoomMode { 5ms, 3 };

constexpr std::nullopt_t none = std::nullopt;

} // namespace

const std::vector<CommandSpec> &commandCatalogue()
{
    static const std::vector<CommandSpec> catalogue = {
        { "Command17", "POWER", "ON", "C00", OneShot, 0, none, none },
        { "Command18", "POWER", "OFF", "C02", OneShot, 0, none, none },
        { "Command27", "INPUT SELECT", "PC", "C05", OneShot, 0, none, none },
        { "Command28", "INPUT SELECT", "MCI", "C06", OneShot, 0, none, none },
        { "Command29", "INPUT SELECT", "Video", "C07", OneShot, 0, none, none },
        { "Command23", "MENU", "ON", "C1C", OneShot, 0, none, kMenuMode },
        { "Command24", "MENU", "OFF", "C1D", OneShot, 0, none, none },
        { "Command19", "AUDIO MUTE", "ON", "C0B", OneShot, 0, none, none },
        { "Command20", "AUDIO MUTE", "OFF", "C0C", OneShot, 0, none, none },
        { "Command21", "VIDEO MUTE", "ON", "C0D", OneShot, 0, none, none },
        { "Command22", "VIDEO MUTE", "OFF", "C0E", OneShot, 0, none, none },
        { "Command25", "FREEZE", "ON", "C43", OneShot, 0, none, none },
        { "Command26", "FREEZE", "OFF", "C44", OneShot, 0, none, none },
        { "Command31", "VIDEO  SCREEN", "Normal", "C0F", OneShot, 0, none, none },
        { "Command32", "VIDEO  SCREEN", "Wide", "C10", OneShot, 0, none, none },
        { "Command38", "MCI PAGE", "+", "C59", OneShot, 0, none, none },
        { "Command39", "MCI PAGE", "-", "C5A", OneShot, 0, none, none },
        { "Command1", "VOL", "+", "C09", Hold, 1, kAdjust, none },
        { "Command2", "VOL", "-", "C0A", Hold, 2, kAdjust, none },
        { "Command15", "Zoom", "+", "C47", Hold, 7, kLens, none },
        { "Command35", "Zoom", "-", "C46", Hold, 8, kLens, none },
        { "Command36", "Focus", "+", "C4B", Hold, 9, kLens, none },
        { "Command37", "Focus", "-", "C4A", Hold, 10, kLens, none },
        { "Command30", "Bright", "+", "C20", Hold, 15, kAdjust, none },
        { "Command42", "Bright", "-", "C21", Hold, 16, kAdjust, none },
        { "Command48", "D.Zoom", "+", "C30", Hold, 17, kAdjust, kDZoomMode },
        { "Command49", "D.Zoom", "-", "C31", Hold, 18, kAdjust, kDZoomMode },
        { "Command50", "Keystone", "+", "C8E", Hold, 19, kAdjust, none },
        { "Command51", "Keystone", "-", "C8F", Hold, 20, kAdjust, none },
        { "Command5", "arrow pad", "↑", "C3C", Arrow, 3, none, none },
        { "Command7", "arrow pad", "↓", "C3D", Arrow, 4, none, none },
        { "Command9", "arrow pad", "←", "C3B", Arrow, 5, none, none },
        { "Command8", "arrow pad", "→", "C3A", Arrow, 6, none, none },
        { "Command6", "arrow pad", "SELECT", "C3F", Hold, 13, kPointer, none },
        { "Command40", "arrow pad", "R-CLICK", "C3E", Hold, 14, kPointer, none },
        { "Command10", "under the arrow pad", "ZOOM", "C80", OneShot, 0, none, kLensMode },
        { "Command11", "under the arrow pad", "FOCUS", "C87", OneShot, 0, none, kLensMode },
        { "Command13", "right-hand column", "A-IMAGE", "C89", OneShot, 0, none, kMenuMode },
        { "Command4", "right-hand column", "NORMAL", "C1F", OneShot, 0, none, none },
        { "Command3", "right-hand column", "DISPLAY CLEAR", "C1E", OneShot, 0, none, none },
        { "Command44", "query buttons", "STATUS", "CR0", OneShot, 0, none, none },
        { "Command45", "query buttons", "MODE", "CR1", OneShot, 0, none, none },
        { "Command46", "query buttons", "L-TIME", "CR3", OneShot, 0, none, none },
        { "Command47", "query buttons", "SETTING", "CR4", OneShot, 0, none, none },
        { "Command52", "beside the STATUS line", "C01", "C01", OneShot, 0, none, none },
    };
    return catalogue;
}

const char *repeatCode(quint8 repeatNumber)
{
    if (repeatNumber == 0)
        return nullptr;
    for (const CommandSpec &row : commandCatalogue()) {
        if (row.repeatNumber == repeatNumber)
            return row.code;
    }
    return nullptr;
}

std::optional<ArrowTiming> arrowTiming(quint8 arrowMode)
{
    // Indexed by ArrowMode; the Timer1 period of each mode comes with the
    // action that set the mode (the ModeEffect rows of the catalogue).
    static constexpr std::array<std::optional<ArrowTiming>, 4> table = { {
        std::nullopt,                 // 0: nothing chosen yet, timers unchanged
        ArrowTiming { 150ms, 190ms }, // 1: MENU ON, A-IMAGE
        ArrowTiming { 50ms, 75ms },   // 2: ZOOM, FOCUS
        ArrowTiming { 5ms, 5ms },     // 3: after D.Zoom
    } };
    return arrowMode < table.size() ? table[arrowMode] : std::nullopt;
}

} // namespace koru
