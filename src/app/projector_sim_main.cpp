#include "sim/simprogram.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("koru-projector-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORU_VERSION));
    return koru::sim::runProjectorSimProgram(app);
}
