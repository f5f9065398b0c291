#include "platform/QtSystemPrinter.h"

#include "platform/PaperSizes.h"
#include "platform/PlatformError.h"

#include <QPainter>
#include <QPrinter>

#include <utility>

QtSystemPrinter::QtSystemPrinter(const QPrinterInfo& printer, DefaultPageSize defaultPageSize)
    : m_printer(printer),
      m_defaultPageSize(defaultPageSize ? std::move(defaultPageSize)
                                        : [](const QPrinterInfo& queue) { return queue.defaultPageSize(); })
{
}

int QtSystemPrinter::paperSize()
{
    // A new QPrinter starts at A4 whatever the queue says; the queue's own
    // default is what the printer holds.
    return windowsPaperCode(m_defaultPageSize(m_printer));
}

void QtSystemPrinter::printPage()
{
    const QString name = m_printer.printerName();
    QPrinter printer(m_printer, QPrinter::HighResolution);
    if (!printer.isValid())
        throw PlatformError(QStringLiteral("プリンター「%1」が見つかりません。").arg(name));

    const QPageLayout layout = pageLayout();
    printer.setDocName(documentName());
    printer.setFullPage(false);
    if (!printer.setPageSize(layout.pageSize()) || !printer.setPageOrientation(layout.orientation()))
        throw PlatformError(QStringLiteral("プリンター「%1」は%2の用紙に印刷できません。").arg(name, layout.pageSize().name()));
    // The printable area as large as the printer allows.
    const QPageLayout chosen = printer.pageLayout();
    printer.setPageMargins(chosen.minimumMargins(), chosen.units());

    QPainter painter;
    if (!painter.begin(&printer))
        throw PlatformError(QStringLiteral("プリンター「%1」で印刷を始められませんでした。").arg(name));
    try {
        paintPage(painter);
    } catch (...) {
        printer.abort();
        painter.end();
        throw;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw PlatformError(QStringLiteral("プリンター「%1」へ印刷を送れませんでした。").arg(name));
}
