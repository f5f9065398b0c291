#include "platform/desktop/QtFileOpenDialog.h"

#include <QApplication>
#include <QFileDialog>

QStringList QtFileOpenDialog::toQtNameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList nameFilters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << pattern.toLower();
            if (pattern.toUpper() != pattern.toLower())
                patterns << pattern.toUpper();
        }
        nameFilters << parts.at(i) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return nameFilters;
}

void QtFileOpenDialog::setFilter(const QString& filter)
{
    m_nameFilters = toQtNameFilters(filter);
}

void QtFileOpenDialog::showOpen()
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!m_nameFilters.isEmpty()) {
        dialog.setNameFilters(m_nameFilters);
        dialog.selectNameFilter(m_nameFilters.first());
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_fileName = dialog.selectedFiles().first();
        return;
    }
    m_fileName.clear();
    if (m_cancelError)
        throw DialogCancelled();
}
