#pragma once

#include "platform/AppEnvironment.h"

// AppEnvironment of the running Qt application.
class QtAppEnvironment : public AppEnvironment
{
public:
    QString applicationDirectory() const override;
    void endApplication() override;
};
