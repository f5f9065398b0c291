#pragma once

#include <QDateTime>

// Where the program reads the time: the date of the daily copies and the
// time windows of asynchronous work. A test puts in a clock it moves by hand,
// rather than waiting for the real one.
class Clock
{
public:
    virtual ~Clock() = default;

    // The local date and time.
    virtual QDateTime now() const = 0;

    // Milliseconds on a clock that never goes back, from an arbitrary start.
    virtual qint64 monotonicMs() const = 0;

    // The computer's own clock.
    static const Clock& system();
};
