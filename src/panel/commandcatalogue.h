#pragma once

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

struct CommandSpec
{
    const char *control;  // objectName of the button
    const char *group;    // the title above or around it
    const char *caption;
    const char *code;     // three characters; a carriage return follows on the wire
    CommandKind kind;
    quint8 repeatNumber;  // hold and arrow buttons: what Timer1 re-sends; 0 otherwise
    std::optional<HoldTiming> timing; // hold buttons only
    std::optional<ModeEffect> mode;   // one-shot: after the click; hold: after the release
};

// The 45 command buttons, one row each.
const std::vector<CommandSpec> &commandCatalogue();

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
