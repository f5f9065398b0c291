#include "platform/desktop/QtFileOpenDialog.h"

#include "platform/desktop/DialogLanguage.h"

#include <QApplication>
#include <QFileDialog>

QStringList QtFileOpenDialog::toQtNameFilters(const QString& filter, bool bothCases)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList nameFilters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << pattern.toLower();
            if (bothCases && pattern.toUpper() != pattern.toLower())
                patterns << pattern.toUpper();
        }
        nameFilters << parts.at(i) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return nameFilters;
}

void QtFileOpenDialog::setFilter(const QString& filter)
{
    m_filter = filter;
}

void QtFileOpenDialog::showOpen()
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog, in Japanese, where the desktop's would not be. Qt's
    // matches names whatever their case; the desktop's is given both.
    const bool ownDialog = !desktopDialogsSpeakJapanese();
    dialog.setOption(QFileDialog::DontUseNativeDialog, ownDialog);
    const QStringList nameFilters = toQtNameFilters(m_filter, !ownDialog);
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
        dialog.selectNameFilter(nameFilters.first());
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_fileName = dialog.selectedFiles().first();
        return;
    }
    m_fileName.clear();
    if (m_cancelError)
        throw DialogCancelled();
}
