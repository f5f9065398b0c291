#pragma once

#include "platform/Grid.h"

#include <QStringList>
#include <QTableView>

class GridModel;

// Grid on a QTableView over a model that keeps the cells in one vector, so
// that a list of a hundred thousand rows fills in milliseconds.
//
// The header row is the view's column header; column 0 is drawn like the
// header (a fixed column). Whole rows are selected, several at a time as in an
// extended-selection list box (click, Shift+click, Ctrl+click, Ctrl+A); keys
// that move the focus move the selection with it. Cells
// cannot be edited, columns and rows cannot be resized by the user, scroll
// bars appear when the content needs them, colours are the system's.
//
// Column widths and the font are the caller's to set (setColumnWidth,
// setFont); the row height follows the font.
class QtGrid : public QTableView, public Grid
{
    Q_OBJECT

public:
    // A grid of the header row alone, with one column per header text.
    explicit QtGrid(const QStringList& headers, QWidget* parent = nullptr);
    ~QtGrid() override;

    int rowCount() const override;
    void setRowCount(int count) override;
    int columnCount() const override;
    QString cellText(int row, int column) const override;
    void appendRows(const std::vector<GridLine>& rows) override;
    void takeRows(std::vector<GridLine>&& rows) override;
    QString rowKey(int row) const override;
    int selectedRowCount() const override;
    int selectedRow(int position) const override;

protected:
    void changeEvent(QEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event) const override;

private:
    const std::vector<int>& selectedRowNumbers() const;
    void fitRowHeightToFont();

    GridModel* m_model;
    // Sorted row numbers of the selection; rebuilt only after it changed, so
    // that walking a selection of n rows by position costs O(n), not O(n^2).
    mutable std::vector<int> m_selected;
    mutable bool m_selectedValid = false;
};
