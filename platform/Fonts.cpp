#include "platform/Fonts.h"

#include <QFont>
#include <QFontDatabase>

const QList<FontSubstitution>& fontSubstitutions()
{
    // Families go by the names fontconfig gives Qt (IPAMincho is IPA明朝).
    // IPA明朝 and IPAゴシック are fixed-width like the faces they replace, and
    // their text extracts correctly from Qt's PDFs (IPAex and Noto CJK map
    // some kanji to radical code points there).
    static const QList<FontSubstitution> substitutions = {
        { kFontMincho, QStringLiteral("IPAMincho"), QStringLiteral("fonts-ipafont-mincho") },
        { kFontGothic, QStringLiteral("IPAGothic"), QStringLiteral("fonts-ipafont-gothic") },
        { kFontPop, QStringLiteral("M PLUS 1 Black"), QStringLiteral("fonts-mplus") },
        { kFontRounded, QStringLiteral("MotoyaLMaru"), QStringLiteral("fonts-motoya-l-maruberi") },
    };
    return substitutions;
}

void registerFontSubstitutions()
{
    for (const FontSubstitution& s : fontSubstitutions()) {
        // The gothic stands behind every face, so kana and kanji missing from
        // a display face still come out in a Japanese face.
        QFont::insertSubstitutions(s.requested, { s.substitute, QStringLiteral("IPAGothic") });
    }
}

QStringList missingSubstituteFonts()
{
    const QStringList installed = QFontDatabase::families();
    QStringList missing;
    for (const FontSubstitution& s : fontSubstitutions()) {
        if (!installed.contains(s.substitute, Qt::CaseInsensitive))
            missing << QStringLiteral("%1 (%2)").arg(s.substitute, s.package);
    }
    return missing;
}
