#pragma once

#include "platform/PdfFileSource.h"
#include "platform/print/QtPagePrinter.h"

class MessageBox;

// PdfFileSource of this desktop: PDF files written with the flyer's one paint
// path, offered first in `documentsFolder` under the name the no-printer PDF
// gets (QtPdfPrinter::safeFileName).
class QtPdfFileSource : public PdfFileSource
{
public:
    QtPdfFileSource(MessageBox& messages, const QString& documentsFolder);

    QString suggestedPath(const QString& documentName) const override;
    std::unique_ptr<Printer> openPdfFile(const QString& path) override;

private:
    MessageBox& m_messages;
    QString m_documentsFolder;
};

// The page as a PDF file at a path the user chose. endDocument() renders the
// page as the no-printer PDF is rendered and puts the file in place whole
// (written beside it, then renamed over it), so a failure leaves any earlier
// file as it was and no partial file behind; then it shows the file's path
// (information, titled "Zabrelo"). A folder that is missing or cannot be written throws
// PlatformError with a Japanese description.
class QtPdfFilePrinter : public QtPagePrinter
{
public:
    QtPdfFilePrinter(MessageBox& messages, const QString& path);

    int paperSize() override { return kPaperJisB4; }

protected:
    void printPage() override;

private:
    MessageBox& m_messages;
    QString m_path;
};
