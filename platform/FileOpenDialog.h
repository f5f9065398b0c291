#pragma once

#include "platform/PlatformError.h"

#include <QString>

// Thrown by FileOpenDialog::showOpen when the user cancels while the
// cancel-error switch is on.
class DialogCancelled : public PlatformError
{
public:
    DialogCancelled()
        : PlatformError(QStringLiteral("ファイルの選択が取り消されました。"))
    {
    }
};

// A FileOpenDialog lets the user pick one existing file.
class FileOpenDialog
{
public:
    virtual ~FileOpenDialog() = default;

    // `filter` is a list of description and pattern pairs separated by "|",
    // for example "GIF(*.gif)|*.gif|JPG|*.jpg". The first pair is selected
    // when the dialog opens.
    virtual void setFilter(const QString& filter) = 0;

    // With the switch on, cancelling the dialog throws DialogCancelled.
    virtual void setCancelError(bool on) = 0;

    // Shows the dialog modally and returns when the user confirms or cancels.
    virtual void showOpen() = 0;

    // The full path of the file chosen by the last showOpen, or empty.
    virtual QString fileName() const = 0;
};
