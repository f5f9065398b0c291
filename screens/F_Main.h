#pragma once

#include "screens/ScreenServices.h"

#include <QWidget>

class QPushButton;

// The main menu: the first window of the run and the last. It opens the
// database when it loads, and opens the list screen and the entry screen as
// modal windows, created afresh each time.
class F_Main : public QWidget
{
    Q_OBJECT

public:
    explicit F_Main(ScreenServices services, QWidget* parent = nullptr);

    // Start-up: the load handler, then the menu shown with the focus on
    // Command1(0). The day's copy of the database (store's Backup_If_Due)
    // is taken once the menu has been painted: at the first start of a day
    // it reads the whole file, and the agent sees the menu meanwhile.
    void start();

    // Opens the database. When it cannot be opened, says so once (naming the
    // file and the reason); the menu is shown in any case.
    void Form_Load();

    // 0 opens the list screen, 1 the entry screen, 2 closes the database and
    // ends the application; any other index does nothing.
    void Command1_Click(int index);

protected:
    // The close button ends the run as 終了 does: the database is closed first.
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void takeDailyCopy();

    bool m_dailyCopyDue = false; // start() has shown the menu; its copy waits for the first paint
    ScreenServices m_services;
    QPushButton* m_command1[3] = {};
};
