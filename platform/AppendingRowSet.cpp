#include "platform/AppendingRowSet.h"

#include "platform/PlatformError.h"

#include <algorithm>

AppendingRowSet::AppendingRowSet(QString table, QStringList columnNames)
    : m_table(std::move(table))
    , m_columnNames(std::move(columnNames))
{
}

void AppendingRowSet::addNew()
{
    m_newRow.clear();
    m_adding = true;
}

void AppendingRowSet::setField(const QString& name, const QString& value)
{
    if (!m_adding)
        throw PlatformError(QStringLiteral("新しい行が開始されていません。"));
    // Callers mostly give the real name: looked for as it is first.
    auto known = std::find(m_columnNames.cbegin(), m_columnNames.cend(), name);
    if (known == m_columnNames.cend())
        known = std::find_if(m_columnNames.cbegin(), m_columnNames.cend(),
            [&](const QString& c) { return c.compare(name, Qt::CaseInsensitive) == 0; });
    if (known == m_columnNames.cend())
        throw PlatformError(QStringLiteral("表 %1 に列 %2 がありません。").arg(m_table, name));
    m_newRow.insert(*known, value);
}

void AppendingRowSet::update()
{
    if (!m_adding)
        throw PlatformError(QStringLiteral("新しい行が開始されていません。"));
    insertRow(m_newRow);
    m_adding = false;
    m_newRow.clear();
    m_rows.reset(); // the cursor now covers the new row too
}

RowSet& AppendingRowSet::rows()
{
    if (!m_rows)
        m_rows = readRows();
    return *m_rows;
}
