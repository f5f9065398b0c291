#include "platform/desktop/QtSaveFileDialog.h"

#include "platform/desktop/DialogLanguage.h"

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
    // Qt's own dialog, and its replace question, in Japanese, where the
    // desktop's would not be.
    dialog.setOption(QFileDialog::DontUseNativeDialog, !desktopDialogsSpeakJapanese());
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("%1 (*.%2)").arg(description, suffix));
    dialog.setDefaultSuffix(suffix);
    dialog.setDirectory(folder.absoluteFilePath());
    dialog.selectFile(QFileInfo(suggestedPath).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}
