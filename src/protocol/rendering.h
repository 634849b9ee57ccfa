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

// Keeps the rendering of a text that mostly grows by appending (the receive
// buffer) up to date in time proportional to what was appended, not to its
// whole length. Each update says either "append these tokens to what the last
// update produced" or, when the text was emptied or replaced, gives the whole
// rendering. Applied in turn, the updates always add up to renderText(source).
struct RenderUpdate
{
    bool whole = true; // text is the complete rendering, not an addition
    QString text;
};

class IncrementalRenderer
{
public:
    RenderUpdate update(const QString &source);

private:
    QString m_source; // our own copy, so the caller's buffer is never shared
    bool m_started = false;
};

} // namespace koru
