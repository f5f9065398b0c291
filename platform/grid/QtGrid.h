#pragma once

#include "platform/Grid.h"

#include <QStringList>
#include <QTableView>

#include <functional>
#include <vector>

class GridModel;

// Grid on a QTableView over a model that keeps the cells in one vector, so
// that a list of a hundred thousand rows fills in milliseconds.
//
// The header row is the view's column header; column 0 is drawn like the
// header (a fixed column). Whole rows are selected, several at a time as in a
// multiple-selection list box (click, Shift+click, Ctrl+click, Ctrl+A). The
// keys that move the focus move the selection with it, so the selected line
// is the one the agent sees: arrows, Page Up/Down, Home/End, Ctrl+Home/End.
// Ctrl+Up/Down move only the focus (the focused line is framed), Ctrl+Space
// adds the focused line to the selection or takes it out, Shift extends it.
// Cells cannot be edited, columns and rows cannot be resized by the user,
// scroll bars appear when the content needs them, colours are the system's.
//
// The lines can be shown narrowed and sorted: a find text keeps the lines
// whose column 1 contains it, ignoring the difference between full- and
// half-width forms, hiragana and katakana, and letter case; the header of
// column 1 then reads "TEXT（絞り込み：FIND）". A click on the header of
// column 1 sorts the lines by it in Japanese collation, a second click
// reverses, a click on the header of column 0 returns to the order they
// were appended in. Every operation of Grid speaks of the lines as shown:
// row r is the r-th line shown, column 0 shows r (the text appended for it
// while the lines are shown as appended), and the row key is that line's.
// setRowCount and appendRows change the lines beneath: the find text and the
// order stay and apply to the new lines at once.
//
// Column widths and the font are the caller's to set (setColumnWidth,
// setFont); the row height follows the font.
class QtGrid : public QTableView, public Grid
{
    Q_OBJECT

public:
    enum class Order { Appended, Ascending, Descending };

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

    // The find text (empty: every line is shown). Selected lines that stay
    // shown stay selected.
    void setFindText(const QString& text);
    QString findText() const;

    // The order of the lines shown; the header's clicks choose it too.
    // Selected lines stay selected, and the focused line in view.
    void setOrder(Order order);
    Order order() const;

    // Selects exactly the shown lines whose row keys are among `keys`, puts
    // the focus on the first of them and scrolls it into view.
    void selectRowKeys(const QStringList& keys);

protected:
    void changeEvent(QEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event) const override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    const std::vector<int>& selectedRowNumbers() const;
    void fitRowHeightToFont();
    void headerClicked(int section);
    // Runs `change`, which resets the model's view, and keeps the selection
    // and the focus on the same lines where they are still shown.
    void keepingSelection(const std::function<void()>& change);
    void selectLines(const std::vector<int>& lines, int focus);

    GridModel* m_model;
    // Sorted row numbers of the selection; rebuilt only after it changed, so
    // that walking a selection of n rows by position costs O(n), not O(n^2).
    mutable std::vector<int> m_selected;
    mutable bool m_selectedValid = false;
};
