#include "platform/QtPrinterSource.h"

#include "platform/PlatformError.h"

std::unique_ptr<Printer> QtPrinterSource::openPrinter()
{
    throw PlatformError(QStringLiteral("印刷はまだ使えません。"));
}
