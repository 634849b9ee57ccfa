#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace koru {

// Words for the reply to one of the four query commands. `sendText` is the
// command text last sent ("CR0\r" ...), `rxdLine` the rendered receive buffer
// as the RXD line shows it. No value when the command was not a query or the
// reply matches no row: the STATUS line then keeps what it showed.
std::optional<QString> decodeReply(QStringView sendText, QStringView rxdLine);

} // namespace koru
