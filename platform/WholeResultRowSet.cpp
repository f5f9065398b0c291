#include "platform/WholeResultRowSet.h"

#include "platform/PlatformError.h"

#include <utility>

WholeResultRowSet::WholeResultRowSet(QStringList columnNames)
    : m_names(std::move(columnNames))
{
    for (int c = 0; c < m_names.size(); ++c)
        m_columns.insert(m_names.at(c).toLower(), c);
}

std::optional<QString> WholeResultRowSet::field(const QString& name)
{
    if (atEnd())
        throw PlatformError(QStringLiteral("現在の行がありません（列 %1）。").arg(name));
    if (name != m_lastName) {
        if (name == m_previousName) {
            std::swap(m_lastName, m_previousName);
            std::swap(m_lastColumn, m_previousColumn);
        } else {
            const auto it = m_columns.constFind(name.toLower());
            if (it == m_columns.constEnd())
                throw PlatformError(QStringLiteral("列 %1 がありません。").arg(name));
            m_previousName = std::exchange(m_lastName, name);
            m_previousColumn = std::exchange(m_lastColumn, it.value());
        }
    }
    if (isNull(m_row, m_lastColumn))
        return std::nullopt;
    const QByteArrayView bytes = cell(m_row, m_lastColumn);
    // The plain conversion is the quicker; it would drop a leading
    // byte-order mark, which the decoder keeps.
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes);
    return m_decode(bytes);
}

void WholeResultRowSet::moveNext()
{
    if (atEnd())
        throw PlatformError(QStringLiteral("これ以上の行はありません。"));
    ++m_row;
}

void WholeResultRowSet::addNew()
{
    throw PlatformError(QStringLiteral("この行セットには行を追加できません。"));
}
