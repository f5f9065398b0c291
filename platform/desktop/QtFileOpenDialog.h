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

    // Turns "desc|pattern;pattern|desc|pattern" into Qt name filters
    // "desc (pattern pattern)", the patterns in lower case. Patterns must
    // match regardless of letter case, as file names do on the desktops whose
    // picture files agents receive: Qt's own dialog matches so, a desktop's
    // may not, and is given each pattern in upper case too (`bothCases`).
    static QStringList toQtNameFilters(const QString& filter, bool bothCases);

private:
    QString m_filter;
    bool m_cancelError = false;
    QString m_fileName;
};
