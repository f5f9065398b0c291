#include "screens/Tsubo.h"

#include <QRegularExpression>

namespace {

constexpr int kLongestWhole = 10;
constexpr int kLongestFraction = 6;

QString trimmedOfBlanks(const QString& text)
{
    qsizetype start = 0, end = text.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QChar(0x3000) || c == QLatin1Char('\t'); };
    while (start < end && blank(text.at(start)))
        ++start;
    while (end > start && blank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

} // namespace

QString tsuboFromSquareMetres(const QString& squareMetres)
{
    QString number = trimmedOfBlanks(squareMetres);
    if (number.endsWith(QChar(0x33A1))) // ㎡
        number = trimmedOfBlanks(number.chopped(1));
    // Full-width digits, comma and point as their ASCII selves.
    for (QChar& c : number) {
        if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
            c = QChar(c.unicode() - 0xFF10 + '0');
        else if (c == QChar(0xFF0C))
            c = QLatin1Char(',');
        else if (c == QChar(0xFF0E))
            c = QLatin1Char('.');
    }
    static const QRegularExpression shape(QStringLiteral("^([0-9]{1,3}(?:,[0-9]{3})+|[0-9]+)(?:\\.([0-9]+))?$"));
    const QRegularExpressionMatch match = shape.match(number);
    if (!match.hasMatch())
        return QString();
    const QString whole = match.captured(1).remove(QLatin1Char(','));
    const QString fraction = match.captured(2);
    if (whole.size() > kLongestWhole || fraction.size() > kLongestFraction)
        return QString();

    // The area is digits / 10^decimals; in hundredths of a tsubo it is
    // digits x 121 x 100 / (400 x 10^decimals), rounded down. Below 10^16
    // digits times 121 stays within 64 bits.
    const quint64 digits = (whole + fraction).toULongLong();
    quint64 scale = 4;
    for (qsizetype i = 0; i < fraction.size(); ++i)
        scale *= 10;
    const quint64 hundredths = digits * 121 / scale;
    return QStringLiteral("%1.%2").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}
