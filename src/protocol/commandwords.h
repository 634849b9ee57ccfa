#pragma once

#include "protocol/catalogue.h"

#include <QString>
#include <QStringList>
#include <QStringView>

namespace koru {

// The words a person may give for a command, the same wherever commands are
// taken by name (koru-ctl's arguments, the bridge's MQTT command topic): the
// catalogue's script names, a few synonyms people reach for first
// ("lamp-hours"), and the codes as the catalogue spells them ("C00").
struct CommandLookup
{
    const Command *command = nullptr;
    // No command: why, in words that name no program's options:
    // "unknown command 'stauts'; did you mean: status?".
    QString refusal;
    // No command, and the word is shaped like a code ("C9Z") that the
    // catalogue lacks: a program may point to its list of codes.
    bool codeShaped = false;
};
CommandLookup lookUpCommand(QStringView word);

// The catalogue's script names closest to a mistyped command, best first,
// five at most.
QStringList nearestNames(QStringView typed);

} // namespace koru
