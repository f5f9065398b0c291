#include "platform/QtPrinterSource.h"

#include "platform/CupsConnection.h"
#include "platform/CupsPrinter.h"
#include "platform/QtPdfPrinter.h"

#include <QDir>
#include <QStandardPaths>

std::unique_ptr<Printer> QtPrinterSource::openPrinter()
{
    // A print server that answers but has no queue, or none at all: the
    // flyer becomes a file. One that does not answer is reported (throws).
    if (std::unique_ptr<CupsConnection> cups = CupsConnection::open()) {
        const QString queue = cups->chosenQueue();
        if (!queue.isEmpty())
            return std::make_unique<CupsPrinter>(std::move(cups), queue, m_messages);
    }

    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return std::make_unique<QtPdfPrinter>(m_messages, documents);
}
