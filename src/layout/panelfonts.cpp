#include "layout/panelfonts.h"

#include "layout/twips.h"

#include <QStringList>

namespace koru::layout {

namespace {

// Debian's IPA fonts first (fonts-ipafont-gothic), then what other desktops
// commonly carry. Each list keeps to its pitch so that the fixed-pitch G
// stays fixed and the proportional P stays proportional.
const QStringList &gothicSubstitutes()
{
    static const QStringList faces = {
        QStringLiteral("IPAGothic"),   QStringLiteral("Noto Sans Mono CJK JP"),
        QStringLiteral("VL Gothic"),   QStringLiteral("TakaoGothic"),
        QStringLiteral("Sazanami Gothic"),
    };
    return faces;
}

const QStringList &proportionalGothicSubstitutes()
{
    static const QStringList faces = {
        QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
        QStringLiteral("TakaoPGothic"),
    };
    return faces;
}

} // namespace

void installFontSubstitutes()
{
    QFont::insertSubstitutions(QString::fromUtf8(kGothicFace), gothicSubstitutes());
    QFont::insertSubstitutions(QString::fromUtf8(kProportionalGothicFace),
                               proportionalGothicSubstitutes());
}

QFont panelFont(const FontSetting &setting)
{
    const bool fixed = setting.face == FontFace::G;
    QFont font(QString::fromUtf8(fixed ? kGothicFace : kProportionalGothicFace));
    font.setStyleHint(fixed ? QFont::Monospace : QFont::SansSerif);
    font.setFixedPitch(fixed);
    // A point is 20 twips, so the design's odd sizes (8.25, 9.75) come out as
    // the whole pixel sizes they were chosen for.
    font.setPixelSize(twipsToPixels(setting.points * 20.0));
    font.setWeight(setting.bold ? QFont::Bold : QFont::Normal);
    return font;
}

QFont windowFont()
{
    return panelFont(FontSetting{FontFace::P, 7.5, false});
}

} // namespace koru::layout
