#pragma once

#include "platform/InputMethod.h"

#include <QList>

// An InputMethod that keeps the fields it was asked to switch on for.
class RecordingInputMethod : public InputMethod
{
public:
    void switchOnHiragana(QWidget* field) override { fields.append(field); }

    QList<QWidget*> fields;
};
