#include "platform/desktop/QtEventPump.h"

#include <QCoreApplication>

void QtEventPump::processPendingEvents()
{
    QCoreApplication::processEvents();
}
