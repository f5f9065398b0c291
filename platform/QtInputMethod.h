#pragma once

#include "platform/InputMethod.h"

// InputMethod of the running desktop's input-method framework.
class QtInputMethod : public InputMethod
{
public:
    void switchOnHiragana(QWidget* field) override;
};
