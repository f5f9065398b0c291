#pragma once

#include "platform/Printer.h"

#include <memory>

// A PrintPreview shows a page on screen as it would come out of the printer.
class PrintPreview
{
public:
    virtual ~PrintPreview() = default;

    // A printer whose page goes to a preview window: endDocument() shows the
    // page and returns when the window is closed. Its paper is JIS B4
    // (paperSize() is 12); nothing is printed or written, and the window
    // offers no way to print.
    virtual std::unique_ptr<Printer> openPreview() = 0;
};
