#pragma once

#include "screens/ScreenServices.h"
#include "store/PropertyStore.h"

#include <QDialog>

#include <vector>

class QPushButton;
class QTableWidget;

// The window of deleted properties, opened from the list's menu: one line
// per kept deleted property, newest first (when it was deleted, its
// location, its price). It opens with the lines of the last deletion
// selected, so that Enter ("元に戻す") brings that deletion back. The lines
// are chosen as in the list; "元に戻す" closes the window with the chosen
// ones, "閉じる" and Escape close it with none.
class F_Sakuzyo : public QDialog
{
    Q_OBJECT

public:
    F_Sakuzyo(ScreenServices services, std::vector<DeletedProperty> kept, QWidget* parent = nullptr);

    // "元に戻す": with no line chosen asks for one; otherwise closes the
    // window, accepted, with chosenKeys() set.
    void Restore_Click();

    // The keys (DeletedProperty::key) of the lines chosen when "元に戻す"
    // closed the window.
    QStringList chosenKeys() const { return m_chosen; }

    QTableWidget& table() { return *m_table; }

private:
    ScreenServices m_services;
    std::vector<DeletedProperty> m_kept;
    QTableWidget* m_table = nullptr;
    QPushButton* m_restore = nullptr;
    QStringList m_chosen;
};
