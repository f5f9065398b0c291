#include "platform/QtMessageBox.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>

namespace {
// Off unless asked for: lets a headless check of the installed program see
// what it told the user (QT_LOGGING_RULES="fudousan.messages.info=true").
Q_LOGGING_CATEGORY(lcMessages, "fudousan.messages", QtWarningMsg)
} // namespace

void QtMessageBox::show(const QString& text, int style, const QString& title)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style == MB_Critical)
        icon = QMessageBox::Critical;
    else if (style == MB_Information)
        icon = QMessageBox::Information;

    qCInfo(lcMessages).noquote() << title << text;
    QMessageBox box(icon, title.isEmpty() ? kApplicationTitle : title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
