#pragma once

#include <QFrame>
#include <QString>
#include <QTextLayout>

namespace koru {

// A caption drawn from the top edge, wrapped at blanks, cut off at the lower
// edge. The full caption is kept (the reply decoding reads it back), but only
// the lines that fit are laid out and painted, so a caption of a hundred
// thousand characters costs no more to show than one of a hundred.
class PanelLabel : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)

public:
    explicit PanelLabel(QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    void setText(const QString &text);
    // Appends to the caption without copying what is already there.
    void appendText(QStringView more);
    // Counts the changes of the caption, so that a writer can tell whether
    // the caption is still what it last put there.
    quint64 revision() const { return m_revision; }

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // The characters of the caption that can possibly show at this size.
    QStringView visiblePrefix() const;
    // Lines of the wrapped caption that are laid out right now (for tests).
    int laidOutLineCount() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    qsizetype prefixLimit() const;
    void captionChanged();
    void relayout();

    QString m_text;
    quint64 m_revision = 0;
    QString m_laidOutPrefix;
    QString m_requestedPrefix; // what can show, as of the last repaint request
    bool m_repaintRequested = false;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    QTextLayout m_layout;
    bool m_layoutValid = false;
};

} // namespace koru
