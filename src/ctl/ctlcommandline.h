#pragma once

#include "program/commandline.h"
#include "program/exitstatus.h"
#include "protocol/catalogue.h"
#include "serial/mscomm.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace koru::ctl {

struct CtlOptions
{
    QString port = QLatin1String(MSComm::kDefaultCom1);
    QString settings; // the line settings string of the chosen speed
    Millis replyWait = kReplyWait;
    std::vector<const Command *> commands; // in the order given
    Millis hold { 0 };                     // 0: a hold command is sent once
    QString wantedStatus;                  // status words as the decoding gives them, trimmed; empty: no wait
    Millis within { 0 };                   // how long the wait may take; 0: one check
    Millis pollInterval { 1000 };          // between two status checks of the wait
    bool json = false;
    QString logPath; // empty: no traffic log
};

// exitCode, output and error: help, version, the lists, or a usage error.
struct CtlCommandLine : program::Ending
{
    CtlOptions options;
};

// Exit statuses, for scripts.
namespace exitcode {
inline constexpr int Answered = program::exitstatus::Success;
inline constexpr int PortFailed = program::exitstatus::Failure; // could not be opened, or was lost
inline constexpr int Usage = program::exitstatus::Usage;
inline constexpr int NoReply = 3;    // a command went unanswered, or the wait ran out
inline constexpr int BadReply = 4;   // NAK, or a reply that cannot be read
} // namespace exitcode

// Parses the arguments (the first one is the program's name).
CtlCommandLine parseCtlCommandLine(const QStringList &arguments);

// "500ms", "10s", "1.5s", "2m", "1h"; a bare number counts in `bareUnit`.
// No value for anything else, for a negative length or one over a day.
std::optional<Millis> parseDuration(QStringView text, Millis bareUnit);

// Every command, one line each: name, code, kind, caption on the button and
// the button's full title.
QString commandListing();

} // namespace koru::ctl
