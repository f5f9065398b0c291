#pragma once

#include "platform/FileOpenDialog.h"

#include <QStringList>

// FileOpenDialog on QFileDialog.
class QtFileOpenDialog : public FileOpenDialog
{
public:
    void setFilter(const QString& filter) override;
    void setCancelError(bool on) override { m_cancelError = on; }
    void showOpen() override;
    QString fileName() const override { return m_fileName; }

    // Turns "desc|pattern|desc|pattern" into Qt name filters "desc (pattern)".
    // Patterns match regardless of letter case, as file names do on the
    // desktops whose picture files agents receive.
    static QStringList toQtNameFilters(const QString& filter);

private:
    QStringList m_nameFilters;
    bool m_cancelError = false;
    QString m_fileName;
};
