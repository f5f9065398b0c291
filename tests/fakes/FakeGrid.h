#pragma once

#include "platform/Grid.h"
#include "platform/PlatformError.h"

#include <QStringList>

#include <algorithm>

// An in-memory Grid. The test chooses the selection; every change of the
// cells is counted, so a test can tell one refill from several.
class FakeGrid : public Grid
{
public:
    explicit FakeGrid(QStringList headers = { QStringLiteral("No."), QStringLiteral("物件所在地") })
    {
        cells.push_back(std::move(headers));
    }

    int rowCount() const override { return int(cells.size()); }

    void setRowCount(int count) override
    {
        ++setRowCountCalls;
        if (count < 1)
            throw PlatformError(QStringLiteral("bad row count"));
        cells.resize(std::size_t(count), emptyLine());
        keys.resize(std::size_t(count));
        selection.erase(
            std::remove_if(selection.begin(), selection.end(), [&](int r) { return r >= count; }), selection.end());
    }

    int columnCount() const override { return int(cells.front().size()); }

    QString cellText(int row, int column) const override
    {
        check(row, column);
        return cells[std::size_t(row)][column];
    }

    // Puts a text into a cell, as a grid filled earlier would hold it.
    void setCellText(int row, int column, const QString& text)
    {
        check(row, column);
        cells[std::size_t(row)][column] = text;
    }

    void appendRows(const std::vector<GridLine>& rows) override
    {
        ++appendCalls;
        for (const auto& row : rows) {
            QStringList line = emptyLine();
            line[0] = row.first;
            line[1] = row.second;
            cells.push_back(line);
            keys.push_back(row.key);
        }
    }

    QString rowKey(int row) const override
    {
        check(row, 0);
        return keys[std::size_t(row)];
    }

    int selectedRowCount() const override { return int(sorted().size()); }

    int selectedRow(int position) const override
    {
        const std::vector<int> rows = sorted();
        if (position < 0 || position >= int(rows.size()))
            throw PlatformError(QStringLiteral("no such selection position"));
        return rows[std::size_t(position)];
    }

    // Column `column` of every data row, top down.
    QStringList column(int column) const
    {
        QStringList texts;
        for (std::size_t r = 1; r < cells.size(); ++r)
            texts << cells[r][column];
        return texts;
    }

    std::vector<QStringList> cells; // row 0 is the header
    std::vector<QString> keys { QString() }; // row keys, one per row
    std::vector<int> selection; // grid row numbers, in the order the user picked them
    int setRowCountCalls = 0;
    int appendCalls = 0;

private:
    QStringList emptyLine() const
    {
        QStringList line;
        for (int c = 0; c < columnCount(); ++c)
            line << QString();
        return line;
    }

    std::vector<int> sorted() const
    {
        std::vector<int> rows = selection;
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        return rows;
    }

    void check(int row, int column) const
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
            throw PlatformError(QStringLiteral("no such cell"));
    }
};
