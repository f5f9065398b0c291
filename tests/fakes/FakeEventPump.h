#pragma once

#include "platform/EventPump.h"

#include <functional>

// An EventPump that counts its calls and can run a probe at each one.
class FakeEventPump : public EventPump
{
public:
    void processPendingEvents() override
    {
        ++count;
        if (onProcess)
            onProcess();
    }

    int count = 0;
    std::function<void()> onProcess;
};
