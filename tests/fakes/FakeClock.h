#pragma once

#include "platform/Clock.h"

// A clock that stands still until the test moves it.
class FakeClock : public Clock
{
public:
    explicit FakeClock(const QDateTime& start = QDateTime(QDate(2026, 4, 1), QTime(9, 0)))
        : m_now(start)
    {
    }

    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonicMs; }

    void setNow(const QDateTime& now) { m_now = now; }
    void setDate(const QDate& date) { m_now.setDate(date); }
    // Moves both clocks forward.
    void advanceMs(qint64 ms)
    {
        m_monotonicMs += ms;
        m_now = m_now.addMSecs(ms);
    }

private:
    QDateTime m_now;
    qint64 m_monotonicMs = 0;
};
