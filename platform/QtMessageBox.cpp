#include "platform/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

void QtMessageBox::show(const QString& text, int style, const QString& title)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style == MB_Critical)
        icon = QMessageBox::Critical;
    else if (style == MB_Information)
        icon = QMessageBox::Information;

    QMessageBox box(icon, title.isEmpty() ? kApplicationTitle : title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
