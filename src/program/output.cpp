#include "program/output.h"

#include <QFileInfo>

#include <cstdio>

namespace koru::program {

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

QStringList argumentList(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

QString programName(const QStringList &arguments, const QString &fallback)
{
    const QString name = arguments.isEmpty() ? QString() : QFileInfo(arguments.first()).fileName();
    return name.isEmpty() ? fallback : name;
}

void printOut(const QString &text)
{
    print(stdout, text);
}

void printErr(const QString &text)
{
    print(stderr, text);
}

void complain(const QString &name, const QString &message)
{
    printErr(QStringLiteral("%1: %2\n").arg(name, message));
}

} // namespace koru::program
