#pragma once

#include <QString>
#include <QStringView>

namespace koru {

// The monitor's display form of a string: one leading blank, then a token per
// character, each ending in a blank: "ACK ", "CR ", "LF  ", "? " for any other
// control character and for everything above 'z', else the character and a
// blank. "C00\r" becomes " C 0 0 CR ".
QString renderText(QStringView text);

// Appends the tokens of `text` (without the leading blank) to `out`.
void appendRenderedTokens(QString &out, QStringView text);

// Renders a text that mostly grows by appending (the receive buffer) in time
// proportional to what was appended, not to its whole length. The result is
// always exactly renderText(source).
class IncrementalRenderer
{
public:
    const QString &render(const QString &source);

private:
    QString m_source;   // our own copy, so the caller's buffer never detaches
    QString m_rendered = QStringLiteral(" ");
};

} // namespace koru
