#pragma once

class QWidget;

// The Japanese input method of the desktop.
class InputMethod
{
public:
    virtual ~InputMethod() = default;

    // Switches the input method on in hiragana mode for `field`, which has
    // just got the focus. Does nothing where no input method runs.
    virtual void switchOnHiragana(QWidget* field) = 0;
};
