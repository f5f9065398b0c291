#pragma once

#include "platform/EventPump.h"

// EventPump on QCoreApplication::processEvents.
class QtEventPump : public EventPump
{
public:
    void processPendingEvents() override;
};
