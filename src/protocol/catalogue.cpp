#include "protocol/catalogue.h"

#include "protocol/replyreading.h"

#include <QLatin1StringView>

#include <algorithm>
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

const std::vector<Command> &commandCatalogue()
{
    static const std::vector<Command> catalogue = {
        { "Command17", "power-on", "C00", OneShot, 0, none, none },
        { "Command18", "power-off", "C02", OneShot, 0, none, none },
        { "Command27", "input-pc", "C05", OneShot, 0, none, none },
        { "Command28", "input-mci", "C06", OneShot, 0, none, none },
        { "Command29", "input-video", "C07", OneShot, 0, none, none },
        { "Command23", "menu-on", "C1C", OneShot, 0, none, kMenuMode },
        { "Command24", "menu-off", "C1D", OneShot, 0, none, none },
        { "Command19", "audio-mute-on", "C0B", OneShot, 0, none, none },
        { "Command20", "audio-mute-off", "C0C", OneShot, 0, none, none },
        { "Command21", "video-mute-on", "C0D", OneShot, 0, none, none },
        { "Command22", "video-mute-off", "C0E", OneShot, 0, none, none },
        { "Command25", "freeze-on", "C43", OneShot, 0, none, none },
        { "Command26", "freeze-off", "C44", OneShot, 0, none, none },
        { "Command31", "video-screen-normal", "C0F", OneShot, 0, none, none },
        { "Command32", "video-screen-wide", "C10", OneShot, 0, none, none },
        { "Command38", "mci-page-up", "C59", OneShot, 0, none, none },
        { "Command39", "mci-page-down", "C5A", OneShot, 0, none, none },
        { "Command1", "vol-up", "C09", Hold, 1, kAdjust, none },
        { "Command2", "vol-down", "C0A", Hold, 2, kAdjust, none },
        { "Command15", "zoom-up", "C47", Hold, 7, kLens, none },
        { "Command35", "zoom-down", "C46", Hold, 8, kLens, none },
        { "Command36", "focus-up", "C4B", Hold, 9, kLens, none },
        { "Command37", "focus-down", "C4A", Hold, 10, kLens, none },
        { "Command30", "bright-up", "C20", Hold, 15, kAdjust, none },
        { "Command42", "bright-down", "C21", Hold, 16, kAdjust, none },
        { "Command48", "dzoom-up", "C30", Hold, 17, kAdjust, kDZoomMode },
        { "Command49", "dzoom-down", "C31", Hold, 18, kAdjust, kDZoomMode },
        { "Command50", "keystone-up", "C8E", Hold, 19, kAdjust, none },
        { "Command51", "keystone-down", "C8F", Hold, 20, kAdjust, none },
        { "Command5", "cursor-up", "C3C", Arrow, 3, none, none },
        { "Command7", "cursor-down", "C3D", Arrow, 4, none, none },
        { "Command9", "cursor-left", "C3B", Arrow, 5, none, none },
        { "Command8", "cursor-right", "C3A", Arrow, 6, none, none },
        { "Command6", "cursor-select", "C3F", Hold, 13, kPointer, none },
        { "Command40", "right-click", "C3E", Hold, 14, kPointer, none },
        { "Command10", "zoom-mode", "C80", OneShot, 0, none, kLensMode },
        { "Command11", "focus-mode", "C87", OneShot, 0, none, kLensMode },
        { "Command13", "a-image", "C89", OneShot, 0, none, kMenuMode },
        { "Command4", "normal", "C1F", OneShot, 0, none, none },
        { "Command3", "display-clear", "C1E", OneShot, 0, none, none },
        { "Command44", "status", query::Status, OneShot, 0, none, none },
        { "Command45", "mode", query::Mode, OneShot, 0, none, none },
        { "Command46", "lamp-time", query::LampTime, OneShot, 0, none, none },
        { "Command47", "setting", query::Setting, OneShot, 0, none, none },
        { "Command52", "c01", "C01", OneShot, 0, none, none },
    };
    return catalogue;
}

namespace {

template <typename Column>
const Command *findRow(Column column, QStringView value)
{
    const auto &catalogue = commandCatalogue();
    const auto found = std::find_if(catalogue.begin(), catalogue.end(), [&](const Command &row) {
        return value == QLatin1StringView(row.*column);
    });
    return found == catalogue.end() ? nullptr : &*found;
}

} // namespace

const Command *commandByName(QStringView name)
{
    return findRow(&Command::name, name);
}

const Command *commandByCode(QStringView code)
{
    return findRow(&Command::code, code);
}

bool isCommandCode(QByteArrayView code)
{
    const auto &catalogue = commandCatalogue();
    return std::any_of(catalogue.begin(), catalogue.end(),
                       [code](const Command &row) { return code == QByteArrayView(row.code); });
}

QByteArray frame(QByteArrayView code)
{
    return code.toByteArray() + kCr;
}

QByteArray frame(const Command &command)
{
    return frame(QByteArrayView(command.code));
}

const char *repeatCode(quint8 repeatNumber)
{
    if (repeatNumber == 0)
        return nullptr;
    for (const Command &row : commandCatalogue()) {
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
