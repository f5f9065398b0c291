#pragma once

#include "platform/Printer.h"

#include <QString>

#include <memory>

// A PdfFileSource hands out printers whose page becomes a PDF file that the
// user named.
class PdfFileSource
{
public:
    virtual ~PdfFileSource() = default;

    // Where a document called `documentName` is first offered to be saved:
    // the documents folder and the file name the flyer gets there when the
    // system has no printer.
    virtual QString suggestedPath(const QString& documentName) const = 0;

    // A printer whose page is written as a PDF file to `path` by
    // endDocument(), replacing a file of that name; the path is then shown.
    // Its paper is JIS B4 (paperSize() is 12).
    virtual std::unique_ptr<Printer> openPdfFile(const QString& path) = 0;
};
