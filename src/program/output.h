#pragma once

#include <QString>
#include <QStringList>

namespace koru::program {

// argv as the program was started, in the local encoding.
QStringList argumentList(int argc, char *argv[]);

// The name a program was started by, without its folder ("koru-panel" for
// /usr/bin/koru-panel); `fallback` when there is none.
QString programName(const QStringList &arguments, const QString &fallback);

// Text on standard output or standard error, flushed at once so that it
// comes before anything the program prints later by other means.
void printOut(const QString &text);
void printErr(const QString &text);

// "NAME: message" on standard error, as command-line tools say it.
void complain(const QString &name, const QString &message);

} // namespace koru::program
