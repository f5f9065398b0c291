#pragma once

#include "platform/MessageBox.h"

#include <QList>
#include <functional>

// A MessageBox that answers OK (or the set answer to a question) at once and keeps every box it was asked to
// show, in order.
class RecordingMessageBox : public MessageBox
{
public:
    struct Shown
    {
        QString text;
        int style;
        QString title; // as the user sees it: kApplicationTitle when none given
    };

    void show(const QString& text, int style, const QString& title) override
    {
        shown.append({ text, style, title.isEmpty() ? kApplicationTitle : title });
        if (onShow)
            onShow(shown.last());
    }

    // Recorded like show() with the style MB_Question; answers `answerYes`.
    bool ask(const QString& text, const QString& title) override
    {
        shown.append({ text, MB_Question, title.isEmpty() ? kApplicationTitle : title });
        if (onShow)
            onShow(shown.last());
        return answerYes;
    }

    QList<Shown> shown;
    bool answerYes = false;
    std::function<void(const Shown&)> onShow; // runs while the "box" is up
};
