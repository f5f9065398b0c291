#pragma once

#include <QString>
#include <QStringList>

// The faces the screens and the flyer ask for, by the names the layouts give.
// None of them ships with Linux: registerFontSubstitutions() maps each to a
// face from Debian's font packages, so code asks for "ＭＳ 明朝" and gets IPA明朝.
inline const QString kFontMincho = QStringLiteral("ＭＳ 明朝"); // serif, the flyer
inline const QString kFontGothic = QStringLiteral("ＭＳ ゴシック"); // fields and captions
inline const QString kFontPop = QStringLiteral("HGP創英角ﾎﾟｯﾌﾟ体"); // titles and big buttons
inline const QString kFontRounded = QStringLiteral("HG丸ｺﾞｼｯｸM-PRO"); // the entry screen's title

struct FontSubstitution
{
    QString requested; // the name the layouts use
    QString substitute; // the installed family that stands in for it
    QString package; // the Debian package that installs it
};

// The substitutions, one per requested face.
const QList<FontSubstitution>& fontSubstitutions();

// Registers every substitution with Qt. REQUIRES: a QGuiApplication exists.
void registerFontSubstitutions();

// Substitute families that are not installed, as "family (package)". Empty
// when every face the program asks for is present.
QStringList missingSubstituteFonts();
