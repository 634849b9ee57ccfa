#include "protocol/rendering.h"

#include "protocol/replyreading.h"

namespace koru {

void appendRenderedTokens(QString &out, QStringView text)
{
    for (const QChar ch : text) {
        const char16_t code = ch.unicode();
        if (code == kAck) {
            out += u"ACK ";
        } else if (code == kCr) {
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

RenderUpdate IncrementalRenderer::update(const QString &source)
{
    if (!m_started || !QStringView(source).startsWith(m_source)) {
        m_started = true;
        m_source.clear();
        m_source += QStringView(source); // a deep copy
        return { true, renderText(source) };
    }
    const QStringView added = QStringView(source).sliced(m_source.size());
    m_source += added;
    RenderUpdate update { false, QString() };
    update.text.reserve(2 * added.size());
    appendRenderedTokens(update.text, added);
    return update;
}

} // namespace koru
