#include "platform/QtEventPump.h"

#include <QCoreApplication>

void QtEventPump::processPendingEvents()
{
    QCoreApplication::processEvents();
}
