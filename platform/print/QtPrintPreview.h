#pragma once

#include "platform/PrintPreview.h"
#include "platform/print/QtPagePrinter.h"

// PrintPreview on Qt's print preview widget, in a window of its own
// ("PrintPreviewWindow") with page-fit, fit-to-width and zoom; its tool bar
// has no print or page set-up button.
class QtPrintPreview : public PrintPreview
{
public:
    std::unique_ptr<Printer> openPreview() override;
};

// The page painted by the flyer's one paint path on a JIS B4 page without
// margins, as the PDF has it; endDocument() shows it modally.
class QtPreviewPrinter : public QtPagePrinter
{
public:
    int paperSize() override { return kPaperJisB4; }

protected:
    void printPage() override;
};
