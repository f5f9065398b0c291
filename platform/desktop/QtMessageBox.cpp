#include "platform/desktop/QtMessageBox.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>

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
    QMessageBox box(
        icon, title.isEmpty() ? kApplicationTitle : title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtMessageBox::ask(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Question, title.isEmpty() ? kApplicationTitle : title, text, QMessageBox::NoButton,
        QApplication::activeWindow());
    // The Japanese words whatever translations are installed.
    QPushButton* yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}
