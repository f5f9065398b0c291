#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>

#include <cmath>
#include <memory>

// A Printer draws one document on a page device: the system printer, a PDF
// file, or a recording double in tests. The flyer needs exactly these
// operations.
//
// Coordinates are twips (1/1440 inch) from the top-left corner of the
// printable area, x to the right and y downwards. Font sizes are points. A
// text printed at the current position (x, y) has the top of its line box at
// y, not its baseline. Failing operations throw PlatformError.
class Printer
{
public:
    static constexpr int kPaperJisB4 = 12; // paper-size code of JIS B4
    static constexpr int kOrientationLandscape = 2;

    virtual ~Printer() = default;

    // The printer's current paper size as a Windows paper-size code (A4 is
    // 9, JIS B4 12); 0 for a size that has no code.
    virtual int paperSize() = 0;
    virtual void setPaperSize(int code) = 0;
    virtual void setOrientation(int code) = 0;

    virtual void setFontName(const QString& family) = 0;
    virtual void setFontSize(float points) = 0;
    virtual void setFontBold(bool bold) = 0;

    virtual void setCurrentPosition(float x, float y) = 0;
    // Draws `text` on one line at the current position in the current font.
    virtual void printText(const QString& text) = 0;

    virtual void drawLine(float x1, float y1, float x2, float y2) = 0;
    // The outline of the rectangle with these opposite corners, not filled.
    virtual void drawBox(float x1, float y1, float x2, float y2) = 0;
    // The pen setting for later lines and boxes (the flyer uses 6).
    virtual void setPenSetting(int value) = 0;

    // Draws `picture` with its top-left corner at (x, y), stretched to
    // `width` x `height` twips.
    virtual void drawPicture(const QImage& picture, float x, float y, float width, float height) = 0;

    // Finishes the page; the document goes to the device. A printer released
    // without it abandons the page: nothing reaches the device.
    virtual void endDocument() = 0;

    // Names the coming document: the job name on a printer, the file name of
    // a PDF. Drawing is unaffected; printers without a use for it ignore it.
    virtual void setDocumentName(const QString& name) { (void)name; }

    // --- Documents of several pages, and why a paper does not fit ----------

    // Ends the current page: later operations draw on a new page of the same
    // document, with the paper and orientation set for it. endDocument()
    // delivers every page at once, as one job or one file; a printer released
    // before it abandons them all.
    virtual void newPage() = 0;

    // When paperSize() is not JIS B4, one line to follow the message that says
    // so: which printer holds which paper, and how to choose another. Empty
    // when the printer has nothing to add.
    virtual QString paperNote() { return QString(); }

    // --- Measuring, so that a text can be kept within its cell ---

    // How far `text` reaches, drawn on one line in the current font, twips:
    // its advance to the right, and its line box above and below the
    // baseline. Draws nothing.
    struct TextExtent
    {
        double width = 0;
        double ascent = 0;
        double descent = 0;
    };
    virtual TextExtent measureText(const QString& text) = 0;

    // The size in twips of `picture` at its own size: its pixels at the
    // physical resolution stored with it when that is plausible (50 to 2400
    // dots per inch), else at 96 dots per inch (15 twips a pixel).
    static QSizeF pictureSizeTwips(const QImage& picture)
    {
        // Files store 96 or 300 dpi as a rounded number of dots per metre:
        // whole numbers snap.
        const auto dotsPerInch = [](int dotsPerMetre) {
            const double dpi = dotsPerMetre * 0.0254;
            const double whole = std::round(dpi);
            return std::abs(dpi - whole) < 0.05 ? whole : dpi;
        };
        const auto plausible = [](double dpi) { return dpi >= 50 && dpi <= 2400; };
        double dpiX = dotsPerInch(picture.dotsPerMeterX());
        double dpiY = dotsPerInch(picture.dotsPerMeterY());
        if (!plausible(dpiX) || !plausible(dpiY))
            dpiX = dpiY = 96;
        return QSizeF(picture.width() * 1440 / dpiX, picture.height() * 1440 / dpiY);
    }
};

// A PrinterSource hands out the printer that a flyer goes to.
class PrinterSource
{
public:
    virtual ~PrinterSource() = default;

    // A printer ready for one document. Throws PlatformError when none can be
    // had.
    virtual std::unique_ptr<Printer> openPrinter() = 0;
};
