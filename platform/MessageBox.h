#pragma once

#include <QString>

// Button-and-icon values of a message box: one OK button with the icon named.
enum MessageBoxStyle : int {
    MB_Plain = 0,        // no icon
    MB_Critical = 16,    // critical stop
    MB_Information = 64, // information
};

// The title of every box that gives no title of its own.
inline const QString kApplicationTitle = QStringLiteral("Mirandel");

// The title that the screens' refusals, completions and failure reports give.
inline const QString kMessageTitle = QStringLiteral("Zabrelo");

// A MessageBox shows modal message boxes with one OK button.
class MessageBox
{
public:
    virtual ~MessageBox() = default;

    // Shows `text` with the icon of `style` and waits until the user closes
    // the box. An empty `title` shows kApplicationTitle.
    virtual void show(const QString& text, int style = MB_Plain, const QString& title = QString()) = 0;
};
