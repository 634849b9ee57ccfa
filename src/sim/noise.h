#pragma once

#include <QByteArray>

class QRandomGenerator;

namespace koru::sim {

// Line noise for the garbage and flood faults: a third each of printable
// characters, control characters (CR, LF and ACK among them) and bytes above
// 127, so a receiver meets every kind of byte it might mishandle.
QByteArray noiseBytes(QRandomGenerator &random, qsizetype count);

} // namespace koru::sim
