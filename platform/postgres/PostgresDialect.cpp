#include "platform/postgres/PostgresDialect.h"

#include "platform/PlatformError.h"

namespace postgres_engine {

QByteArray quoteIdentifier(const QString& name)
{
    QByteArray quoted = name.toUtf8();
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

bool isReading(const QString& statement)
{
    return statement.trimmed().startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive);
}

QByteArray translateStatement(const QString& statement, int parameterCount, const QHash<QString, QString>& realNames)
{
    QString out;
    out.reserve(statement.size() + 32);
    int marks = 0;
    const int n = int(statement.size());
    for (int i = 0; i < n;) {
        const QChar c = statement.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            int j = i + 1;
            for (; j < n; ++j) {
                if (statement.at(j) == c) {
                    if (j + 1 < n && statement.at(j + 1) == c)
                        ++j;
                    else
                        break;
                }
            }
            out += statement.mid(i, j + 1 - i);
            i = j + 1;
        } else if (c == QLatin1Char('-') && i + 1 < n && statement.at(i + 1) == QLatin1Char('-')) {
            int j = int(statement.indexOf(QLatin1Char('\n'), i));
            j = j < 0 ? n : j;
            out += statement.mid(i, j - i);
            i = j;
        } else if (c == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++marks);
            ++i;
        } else if ((c.isLetter() && c.unicode() < 128) || c == QLatin1Char('_')) {
            int j = i + 1;
            while (j < n && statement.at(j).unicode() < 128
                && (statement.at(j).isLetterOrNumber() || statement.at(j) == QLatin1Char('_')
                    || statement.at(j) == QLatin1Char('$')))
                ++j;
            const QString word = statement.mid(i, j - i);
            const auto real = realNames.constFind(word.toLower());
            out += real == realNames.constEnd() ? word : QString::fromUtf8(quoteIdentifier(real.value()));
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    if (marks != parameterCount)
        throw PlatformError(QStringLiteral("SQL文の引数の数が合いません。"));
    return out.toUtf8();
}

} // namespace postgres_engine
