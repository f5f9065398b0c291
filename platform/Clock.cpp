#include "platform/Clock.h"

#include <QElapsedTimer>

namespace {

class SystemClock : public Clock
{
public:
    SystemClock() { m_start.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override { return m_start.elapsed(); }

private:
    QElapsedTimer m_start;
};

} // namespace

const Clock& Clock::system()
{
    static const SystemClock clock;
    return clock;
}
