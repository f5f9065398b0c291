#pragma once

#include "platform/SaveFileDialog.h"

// SaveFileDialog on QFileDialog; an existing file is confirmed by the
// dialog's own question before it is returned.
class QtSaveFileDialog : public SaveFileDialog
{
public:
    QString askSavePath(
        const QString& title, const QString& suggestedPath, const QString& description, const QString& suffix) override;
};
