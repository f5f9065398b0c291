#pragma once

#include <QString>

// Button-and-icon values of a message box: one OK button with the icon named.
enum MessageBoxStyle : int {
    MB_Plain = 0, // no icon
    MB_Critical = 16, // critical stop
    MB_Question = 32, // question (with ask(): buttons はい and いいえ)
    MB_Information = 64, // information
};

// The title of every box that gives no title of its own.
inline const QString kApplicationTitle = QStringLiteral("Mirandel");

// The title that the screens' refusals, completions and failure reports give.
inline const QString kMessageTitle = QStringLiteral("Zabrelo");

// A MessageBox shows modal message boxes with one OK button, and asks yes/no
// questions.
class MessageBox
{
public:
    virtual ~MessageBox() = default;

    // Shows `text` with the icon of `style` and waits until the user closes
    // the box. An empty `title` shows kApplicationTitle.
    virtual void show(const QString& text, int style = MB_Plain, const QString& title = QString()) = 0;

    // Asks `text` with the question icon and the buttons はい and いいえ, はい
    // being the default, and waits for the answer: true for はい. Closing the
    // box answers いいえ.
    virtual bool ask(const QString& text, const QString& title = QString()) = 0;
};
