#pragma once

#include "platform/MessageBox.h"

#include <QList>
#include <functional>

// A MessageBox that answers OK at once and keeps every box it was asked to
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
        shown.append({text, style, title.isEmpty() ? kApplicationTitle : title});
        if (onShow)
            onShow(shown.last());
    }

    QList<Shown> shown;
    std::function<void(const Shown&)> onShow; // runs while the "box" is up
};
