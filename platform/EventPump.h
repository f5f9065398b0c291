#pragma once

// An EventPump lets the window system process its pending events once, so that
// a window made visible inside a handler is painted before the handler goes on.
class EventPump
{
public:
    virtual ~EventPump() = default;
    virtual void processPendingEvents() = 0;
};
