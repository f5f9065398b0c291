#include "platform/desktop/QtSaveFileDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString QtSaveFileDialog::askSavePath(
    const QString& title, const QString& suggestedPath, const QString& description, const QString& suffix)
{
    // A folder that does not exist yet (a documents folder never used)
    // starts the dialog in the nearest one that does.
    QFileInfo folder(QFileInfo(suggestedPath).absolutePath());
    while (!folder.isDir() && !folder.isRoot())
        folder.setFile(folder.absolutePath());

    QFileDialog dialog(QApplication::activeWindow(), title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("%1 (*.%2)").arg(description, suffix));
    dialog.setDefaultSuffix(suffix);
    dialog.setDirectory(folder.absoluteFilePath());
    dialog.selectFile(QFileInfo(suggestedPath).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}
