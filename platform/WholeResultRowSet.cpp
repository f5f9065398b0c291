#include "platform/WholeResultRowSet.h"

#include "platform/PlatformError.h"

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
        const auto it = m_columns.constFind(name.toLower());
        if (it == m_columns.constEnd())
            throw PlatformError(QStringLiteral("列 %1 がありません。").arg(name));
        m_lastName = name;
        m_lastColumn = it.value();
    }
    if (isNull(m_row, m_lastColumn))
        return std::nullopt;
    return m_decode(cell(m_row, m_lastColumn));
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
