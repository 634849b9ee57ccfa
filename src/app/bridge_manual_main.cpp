// Fills koru-bridge(1)'s key lists in at build time from the same tables
// that the configuration file and the command line read. Not installed.
#include "bridge/service/bridgemanual.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PAGE.in PAGE\n", argv[0]);
        return 2;
    }
    QFile in(QFile::decodeName(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(in.errorString()));
        return 1;
    }
    const koru::bridge::FilledManual filled = koru::bridge::fillManualKeyLists(QString::fromUtf8(in.readAll()));
    if (!filled.error.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(filled.error));
        return 1;
    }
    QFile out(QFile::decodeName(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(filled.page.toUtf8()) < 0) {
        std::fprintf(stderr, "%s: %s\n", argv[2], qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
