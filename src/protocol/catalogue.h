#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>
#include <QtGlobal>

#include <chrono>
#include <optional>
#include <vector>

namespace koru {

using Millis = std::chrono::milliseconds;

enum class CommandKind {
    OneShot, // sends once per click
    Hold,    // sends at the press, repeats at its own period until the release
    Arrow,   // like Hold, but repeats at Timer1's current period, timed by ArrowMode
};

// Set by the mode buttons (after their click) and by the D.Zoom pair (after
// their release): the period the arrows repeat at, and the arrows' timing mode.
struct ModeEffect
{
    Millis timer1;
    quint8 arrowMode;
};

// The fixed timing of a hold button: repeat period, reply wait, monitor clear.
struct HoldTiming
{
    Millis t1;
    Millis t2;
    Millis t4;
};

// After a command goes out, how long the reply may take before the panel
// stops waiting for it, and how long the monitor and status lines show what
// they show; a hold or an arrow mode may shorten both for a while.
inline constexpr Millis kReplyWait { 500 };
inline constexpr Millis kMonitorClear { 1000 };
// Timer1's period until a mode button or a hold button sets another: what the
// arrows repeat at when nothing has chosen their timing yet.
inline constexpr Millis kRepeatAtStart { 200 };

// The four queries: the projector answers them with digits instead of an ACK.
namespace query {
inline constexpr char Status[] = "CR0";
inline constexpr char Mode[] = "CR1";
inline constexpr char LampTime[] = "CR3";
inline constexpr char Setting[] = "CR4";
} // namespace query

struct Command
{
    const char *control;  // objectName of the button
    const char *name;     // for scripts: lowercase, unique, from the button's title ("vol-up")
    const char *code;     // three characters; a carriage return follows on the wire
    CommandKind kind;
    quint8 repeatNumber;  // hold and arrow buttons: what Timer1 re-sends; 0 otherwise
    std::optional<HoldTiming> timing; // hold buttons only
    std::optional<ModeEffect> mode;   // one-shot: after the click; hold: after the release
};

// The 45 command buttons, one row each.
const std::vector<Command> &commandCatalogue();

// The row with this script name or this three-character code (as the
// catalogue spells it), or nullptr.
const Command *commandByName(QStringView name);
const Command *commandByCode(QStringView code);
// Whether `code` (three bytes, without the CR) is a code of the catalogue.
bool isCommandCode(QByteArrayView code);

// What goes on the wire for a command: its code and a carriage return.
QByteArray frame(const Command &command);
QByteArray frame(QByteArrayView code);

// The repeat table, derived from the catalogue: the code Timer1 re-sends for a
// repeat number, or nullptr for a number no button uses.
const char *repeatCode(quint8 repeatNumber);

// Reply-wait and monitor-clear intervals an arrow press applies in each
// ArrowMode; mode 0 leaves both timers alone.
struct ArrowTiming
{
    Millis timer2;
    Millis timer4;
};
std::optional<ArrowTiming> arrowTiming(quint8 arrowMode);

} // namespace koru
