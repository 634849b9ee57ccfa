#pragma once

#include <QString>
#include <QStringList>
#include <QByteArrayView>
#include <QStringView>

#include <optional>

namespace koru {

// Words for the reply to one of the four query commands. `sendText` is the
// command text last sent ("CR0\r" ...), `rxdLine` the rendered receive buffer
// as the RXD line shows it. No value when the command was not a query or the
// reply matches no row: the STATUS line then keeps what it showed.
std::optional<QString> decodeReply(QStringView sendText, QStringView rxdLine);

// The words a query's reply can decode to, as the STATUS line shows them
// (leading blank included), each once, in table order; empty for the lamp
// time, whose words are the digits themselves, and for any other code.
QStringList decodedTexts(QByteArrayView queryCode);

} // namespace koru
