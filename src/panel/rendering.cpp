#include "panel/rendering.h"

namespace koru {

void appendRenderedTokens(QString &out, QStringView text)
{
    for (const QChar ch : text) {
        const char16_t code = ch.unicode();
        if (code == 6) {
            out += u"ACK ";
        } else if (code == 13) {
            out += u"CR ";
        } else if (code == 10) {
            out += u"LF  ";
        } else if (code >= 32 && code <= 122) {
            out += ch;
            out += u' ';
        } else {
            out += u"? ";
        }
    }
}

QString renderText(QStringView text)
{
    QString out;
    out.reserve(1 + 2 * text.size());
    out += u' ';
    appendRenderedTokens(out, text);
    return out;
}

const QString &IncrementalRenderer::render(const QString &source)
{
    if (!QStringView(source).startsWith(m_source)) {
        m_source.clear();
        m_rendered = QStringLiteral(" ");
    }
    const QStringView added = QStringView(source).mid(m_source.size());
    if (!added.isEmpty()) {
        m_source += added;
        appendRenderedTokens(m_rendered, added);
    }
    return m_rendered;
}

} // namespace koru
