#pragma once

#include "platform/QtPagePrinter.h"

#include <QPageSize>
#include <QPrinterInfo>

#include <functional>

// The flyer on a printer of the system (a CUPS queue on Linux).
//
// Its paper size is the printer's default page size as the system reports it
// (a queue whose default is JIS B4 answers 12). endDocument() sets up a fresh
// print job with the chosen paper and orientation, the smallest margins the
// printer allows and the document name as job name, paints the page and
// hands the job over. A job that cannot be started or finished throws
// PlatformError with a Japanese description, and nothing is queued.
class QtSystemPrinter : public QtPagePrinter
{
public:
    // How the queue's default paper is read: QPrinterInfo::defaultPageSize,
    // or a stand-in for a queue the test cannot start.
    using DefaultPageSize = std::function<QPageSize(const QPrinterInfo&)>;

    // REQUIRES: `printer` is not null (unless only paperSize() is asked).
    explicit QtSystemPrinter(const QPrinterInfo& printer, DefaultPageSize defaultPageSize = {});

    int paperSize() override;

protected:
    void printPage() override;

private:
    QPrinterInfo m_printer;
    DefaultPageSize m_defaultPageSize;
};
