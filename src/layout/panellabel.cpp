#include "layout/panellabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>

#include <algorithm>

namespace koru {

PanelLabel::PanelLabel(QWidget *parent)
    : QFrame(parent)
{
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
}

void PanelLabel::setText(const QString &text)
{
    m_text = text; // implicitly shared: no copy of a long caption
    captionChanged();
}

void PanelLabel::appendText(QStringView more)
{
    m_text += more;
    captionChanged();
}

void PanelLabel::captionChanged()
{
    ++m_revision;
    // Compared with what the last repaint request was for, not with what was
    // last painted: a label out of sight (the RXD line below the compact
    // window's edge) is never painted, and would otherwise cost the window a
    // repaint pass at every byte a flood appends.
    const QStringView prefix = visiblePrefix();
    if (m_repaintRequested && prefix == m_requestedPrefix)
        return; // what can show has not changed: nothing to lay out or paint
    m_requestedPrefix = prefix.toString();
    m_repaintRequested = true;
    m_layoutValid = false;
    update();
}

void PanelLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    m_layoutValid = false;
    update();
}

QStringView PanelLabel::visiblePrefix() const
{
    return QStringView(m_text).left(prefixLimit());
}

int PanelLabel::laidOutLineCount() const
{
    return m_layoutValid ? m_layout.lineCount() : 0;
}

// No glyph is narrower than two pixels in the faces we use, so this many
// characters always fill every line that can show, plus one spare line.
qsizetype PanelLabel::prefixLimit() const
{
    const QRect area = contentsRect();
    const int lineHeight = std::max(1, QFontMetrics(font()).lineSpacing());
    const int lines = area.height() / lineHeight + 2;
    const int perLine = std::max(1, area.width()) / 2 + 2;
    return qsizetype(lines) * perLine;
}

void PanelLabel::relayout()
{
    m_laidOutPrefix = visiblePrefix().toString();
    const QRect area = contentsRect();

    QTextOption option(m_alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout.setText(m_laidOutPrefix);
    m_layout.setFont(font());
    m_layout.setTextOption(option);
    m_layout.setCacheEnabled(true);
    m_layout.beginLayout();
    const QFontMetrics metrics(font());
    qreal y = 0;
    while (y < area.height()) {
        QTextLine line = m_layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(area.width());
        line.setPosition(QPointF(0, y));
        y += metrics.lineSpacing();
    }
    m_layout.endLayout();
    m_layoutValid = true;
}

void PanelLabel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event); // the border
    if (m_text.isEmpty())
        return;
    if (!m_layoutValid)
        relayout();
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.setPen(palette().color(QPalette::WindowText));
    m_layout.draw(&painter, area.topLeft());
}

void PanelLabel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    m_layoutValid = false;
}

void PanelLabel::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ContentsRectChange)
        m_layoutValid = false;
}

} // namespace koru
