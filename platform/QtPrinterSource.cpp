#include "platform/QtPrinterSource.h"

#include "platform/QtPdfPrinter.h"
#include "platform/QtSystemPrinter.h"

#include <QDir>
#include <QPrinterInfo>
#include <QStandardPaths>

std::unique_ptr<Printer> QtPrinterSource::openPrinter()
{
    QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull()) {
        // No default chosen: a lone printer is the obvious one; among several
        // none is, and the flyer goes to a file rather than a guess.
        const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
        if (printers.size() == 1)
            printer = printers.first();
    }
    if (!printer.isNull())
        return std::make_unique<QtSystemPrinter>(printer);

    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return std::make_unique<QtPdfPrinter>(m_messages, documents);
}
