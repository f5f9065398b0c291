#pragma once

#include <QString>

#include <vector>

// A Grid is the list screen's table of cells: a fixed header row (row 0)
// above any number of data rows, in a fixed number of columns. Rows are
// numbered from 0 (the header) to rowCount() - 1; columns from 0.
//
// The user selects whole data rows, several at a time; the selection is read
// as a count and as a list of row numbers, top row first. Only code puts text
// into cells: the user cannot edit them.
//
// Each data row may carry a row key: a text the code attaches when it
// appends the row and reads back later, never shown. The list keeps in it the
// identity of the database row a line came from, so that a line acts on that
// row and no other.
//
// Operations on a row or column outside the grid throw PlatformError.
struct GridLine
{
    QString first; // column 0
    QString second; // column 1
    QString key; // the row key
};

class Grid
{
public:
    virtual ~Grid() = default;

    // The number of rows, the header row included (so at least 1).
    virtual int rowCount() const = 0;

    // Makes the grid `count` rows long, the header included. Rows past the new
    // end are dropped with their texts and their selection; new rows are
    // empty. REQUIRES: count >= 1.
    virtual void setRowCount(int count) = 0;

    virtual int columnCount() const = 0;

    // The text of cell (row, column); row 0 is the header.
    virtual QString cellText(int row, int column) const = 0;

    // Appends one row per element below the last row, with `first` in column 0,
    // `second` in column 1 (other columns empty) and `key` as its row key. The
    // same as growing the row count and setting each cell, in one step, for
    // long lists.
    virtual void appendRows(const std::vector<GridLine>& rows) = 0;

    // As appendRows, taking the lines' texts over rather than sharing them:
    // a long list then need not touch each of its texts once more to share
    // it and again to let the caller's copy go.
    virtual void takeRows(std::vector<GridLine>&& rows) { appendRows(rows); }

    // The row key of data row `row`; empty for a row that setRowCount made.
    virtual QString rowKey(int row) const = 0;

    // How many data rows are selected.
    virtual int selectedRowCount() const = 0;

    // The row number of the selected row at `position` of the selection,
    // positions counted from 0 at the top of the grid downwards.
    // REQUIRES: 0 <= position < selectedRowCount().
    virtual int selectedRow(int position) const = 0;
};
