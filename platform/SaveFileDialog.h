#pragma once

#include <QString>

// A SaveFileDialog lets the user choose the name and folder of a new file.
class SaveFileDialog
{
public:
    virtual ~SaveFileDialog() = default;

    // Shows the dialog modally, titled `title`, in the folder of
    // `suggestedPath` with its file name filled in, offering files ending in
    // "." + `suffix` (described as `description`); a name typed without the
    // suffix gets it. Returns the full path chosen, or an empty string when
    // the user cancels. A path that names an existing file is returned only
    // after the user has confirmed in the dialog that it may be replaced.
    virtual QString askSavePath(
        const QString& title, const QString& suggestedPath, const QString& description, const QString& suffix)
        = 0;
};
