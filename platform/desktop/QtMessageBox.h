#pragma once

#include "platform/MessageBox.h"

// MessageBox on QMessageBox, parented to the active window so that it is
// modal to the screen that asked for it.
class QtMessageBox : public MessageBox
{
public:
    void show(const QString& text, int style, const QString& title) override;
    bool ask(const QString& text, const QString& title) override;
};
