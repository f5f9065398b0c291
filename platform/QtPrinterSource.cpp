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
        // No default chosen: the flyer still goes to paper, on the first
        // printer the system lists; a file is only for a system without one.
        const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
        if (!printers.isEmpty())
            printer = printers.first();
    }
    if (!printer.isNull())
        return std::make_unique<QtSystemPrinter>(printer);

    return std::make_unique<QtPdfPrinter>(m_messages, documentsFolder());
}

QString QtPrinterSource::documentsFolder()
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return documents;
}
