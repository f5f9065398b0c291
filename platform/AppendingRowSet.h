#pragma once

#include "platform/DatabaseEngine.h"

#include <QMap>

#include <memory>

// What every engine's updatable cursor over one table shares: the table's
// rows are read only when a caller asks for them (appending needs only the
// column names), and a new row is gathered column by column, names matched
// regardless of letter case, until update() hands it to the engine.
class AppendingRowSet : public RowSet
{
public:
    AppendingRowSet(QString table, QStringList columnNames);

    bool atEnd() override { return rows().atEnd(); }
    QStringList columnNames() const override { return m_columnNames; }
    std::optional<QString> field(const QString& name) override { return rows().field(name); }
    void moveNext() override { rows().moveNext(); }

    void addNew() override;
    void setField(const QString& name, const QString& value) override;
    void update() override;

protected:
    const QString& table() const { return m_table; }

    // Every row of the table, in the engine's own order.
    virtual std::unique_ptr<RowSet> readRows() = 0;

    // Stores `row` (each column under its real name) as one new row, durably
    // once it returns; throws PlatformError and stores nothing on failure.
    virtual void insertRow(const QMap<QString, QString>& row) = 0;

private:
    RowSet& rows();

    QString m_table;
    QStringList m_columnNames;
    QMap<QString, QString> m_newRow;
    bool m_adding = false;
    std::unique_ptr<RowSet> m_rows;
};
