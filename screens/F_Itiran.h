#pragma once

#include "screens/ScreenServices.h"

#include <QDialog>

#include <memory>

class F_Tyukai;
class QAction;
class QKeySequence;
class QMenu;
class QPushButton;
class QtGrid;

// The property list screen: every stored property as one numbered line of the
// grid VSF. The agent selects lines and deletes them, or shows the lowest
// selected one in a new entry screen, which then takes this screen's place.
// The grid's right-click menu (also on the Menu key) narrows the list to a
// find text (also Ctrl+F) and brings deleted properties back; a click on a
// column header sorts the lines.
class F_Itiran : public QDialog
{
    Q_OBJECT

public:
    explicit F_Itiran(ScreenServices services, QWidget* parent = nullptr);
    ~F_Itiran() override;

    // Creates a new list screen, fills it and shows it modally; destroys it
    // when it closes. When "表示" prepared an entry screen, that screen is
    // shown modally next, after the list is gone, and destroyed when it
    // closes; the caller (the menu) gets control back only then.
    static void openFromMenu(ScreenServices services);

    // Load handler: fills the grid.
    void Form_Load();

    // "戻る": closes the screen.
    void Command1_Click();

    // "削除": deletes the selected properties, no question asked.
    void Command2_Click();

    // "表示": with no line selected, asks for one. Otherwise loads the
    // property of the lowest selected line into a new, hidden entry screen
    // and closes; takeEntryScreen() then hands that screen out.
    void Command3_Click();

    // "絞り込み…" (and Ctrl+F): asks for a find text in a small box. Enter
    // there narrows the list to the lines whose location contains it (an
    // empty text shows every line); Escape shows every line.
    void Find_Click();

    // "削除した物件…": the window of deleted properties; the ones chosen
    // there come back as new lines at the end of the list, which then shows
    // every line in registration order with them selected.
    void Deleted_Click();

    // The grid's menu.
    QMenu& listMenu() { return *m_listMenu; }

    // The entry screen prepared by "表示", or null. The caller shows it once
    // this screen is gone.
    std::unique_ptr<F_Tyukai> takeEntryScreen();

    // 「選んだ物件のチラシを印刷」 of the list's menu: with no line selected,
    // asks for one. Otherwise prints the flyers of the selected lines' rows
    // (Print_Flyer_Batch) in list order, one page each, as one document on
    // the program's printer (a PDF file in the documents folder when there is
    // none), then says how many were printed and how many rows were gone.
    // Shows its progress for more than a few lines, with 中止 between pages
    // (nothing is printed then). Registers nothing.
    void PrintSelectedFlyers();

    QtGrid& grid() { return *m_vsf; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Adds an entry to the grid's menu, its shortcut (if any) working
    // anywhere on the screen. Like the buttons' handlers, `handler` runs its
    // work inside the failure boundary itself.
    // Returns the entry.
    QAction* addListAction(const QString& text, void (F_Itiran::*handler)(), const QKeySequence& shortcut = {});

    ScreenServices m_services;
    QMenu* m_listMenu = nullptr;
    QtGrid* m_vsf = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    std::unique_ptr<F_Tyukai> m_entryScreen;
};
