#pragma once

#include "platform/DatabaseEngine.h"

#include <QByteArrayView>
#include <QHash>
#include <QStringDecoder>

// What every engine's result of one statement shares: the whole result is in
// memory when the row set is handed over, columns are found by name
// regardless of letter case, and nothing can be added to it. Engines keep the
// cells as they came and say where a cell's UTF-8 bytes are.
class WholeResultRowSet : public RowSet
{
public:
    explicit WholeResultRowSet(QStringList columnNames);

    bool atEnd() override { return m_names.isEmpty() || m_row >= rowCount(); }
    QStringList columnNames() const override { return m_names; }
    std::optional<QString> field(const QString& name) override;
    void moveNext() override;

    void addNew() override;
    void setField(const QString&, const QString&) override { addNew(); }
    void update() override { addNew(); }

protected:
    virtual int rowCount() const = 0;
    virtual bool isNull(int row, int column) const = 0;
    virtual QByteArrayView cell(int row, int column) const = 0;

private:
    QStringList m_names;
    QHash<QString, int> m_columns; // lower-cased name -> column index
    // Readers ask for the same column or two row after row: the last two
    // are kept.
    QString m_lastName;
    int m_lastColumn = 0;
    QString m_previousName;
    int m_previousColumn = 0;
    int m_row = 0;
    // A stored text comes back exactly as written, a leading byte-order mark
    // included (QString::fromUtf8 would drop it).
    QStringDecoder m_decode { QStringConverter::Utf8,
        QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless };
};
