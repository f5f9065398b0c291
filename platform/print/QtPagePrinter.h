#pragma once

#include "platform/Printer.h"

#include <QFont>
#include <QPageLayout>

#include <functional>
#include <memory>
#include <vector>

class QIODevice;
class QPainter;

// A Printer that paints with QPainter; the system printer (a PDF handed to
// CUPS) and the PDF file share this one paint path and differ only in where
// the page goes.
//
// The page's operations are kept until endDocument(), which opens the device,
// paints them in one go and closes it. A page abandoned half way (a failure,
// or a printer released without endDocument) never reaches the device: no
// half page is queued or written.
//
// A document of several pages (newPage) is PDF: each page ended is painted
// into the document (on a thread of its own while the next page is drawn),
// which is kept in a temporary file, so that memory holds the page being
// drawn and at most one being painted whatever the number of pages. endDocument() delivers the
// whole document; released before it, the printer removes the file and
// nothing reaches the device. Printers that paint the page themselves
// (paintPage: the preview) show the last page only.
//
// Units on the device: twips from the top-left corner of the printable area.
// The painter is scaled by (device dots per inch)/1440 and fonts are sized in
// pixels of that scaled system (points x 20), so text keeps its point size on
// every resolution. A text's line box starts at the current position: its
// baseline is y + the font's ascent. A text is one line; the part of a long
// text that would lie wholly beyond the right edge of the printable area is
// not drawn (what shows is the same), so a pasted megabyte prints as fast as
// a page-wide line. Texts with right-to-left characters are drawn whole.
// Lines before any pen setting are 1 twip wide; pen setting n makes later
// lines n/600 inch wide (6 is 14.4 twips).
// Lines have flat ends and boxes mitred corners. Pictures are drawn at the
// size given; only the part of a picture that lies on the page is handed to
// the device.
class QtPagePrinter : public Printer
{
public:
    QtPagePrinter();
    ~QtPagePrinter() override;
    QtPagePrinter(const QtPagePrinter&) = delete;
    QtPagePrinter& operator=(const QtPagePrinter&) = delete;

    // Code 12 (JIS B4) and the other codes Qt knows. Throws PlatformError for
    // a code without a paper size.
    void setPaperSize(int code) override;
    // 1 portrait, 2 landscape; other values throw PlatformError.
    void setOrientation(int code) override;
    void setFontName(const QString& family) override;
    void setFontSize(float points) override;
    void setFontBold(bool bold) override;
    void setCurrentPosition(float x, float y) override;
    void printText(const QString& text) override;
    void drawLine(float x1, float y1, float x2, float y2) override;
    void drawBox(float x1, float y1, float x2, float y2) override;
    void setPenSetting(int value) override;
    void drawPicture(const QImage& picture, float x, float y, float width, float height) override;
    // Paints the page on the device. Throws PlatformError when the device
    // cannot be opened or written; nothing of the page is left behind then.
    // A second call does nothing.
    void endDocument() override;
    void setDocumentName(const QString& name) override;
    // Paints the page into the document's PDF and starts the next. Throws
    // PlatformError when the temporary file cannot be written.
    void newPage() override;
    // In the font the page draws it in; its sizes are pixels of the twips
    // system, so what is measured is twips on every device.
    TextExtent measureText(const QString& text) override;

    // Width in twips of lines drawn with pen setting `value`: value/600 inch.
    static double penWidthTwips(int value);

protected:
    // The paper and orientation chosen so far (JIS B4 portrait until set),
    // without margins.
    QPageLayout pageLayout() const;
    // The name given by setDocumentName, or empty.
    QString documentName() const { return m_documentName; }

    // Paints the kept operations of the current page. REQUIRES: `painter` is
    // active on the device, untransformed, with its origin at the top-left
    // corner of the printable area.
    void paintPage(QPainter& painter) const;

    // The document as PDF: the pages ended by newPage and the current one,
    // each on its paper and orientation, no margins, fonts embedded as
    // subsets, titled with the document name (the one given before the first
    // page ended: the PDF is begun then). The device is open for reading
    // at its start and valid until the printer is released; read it in parts
    // (a long document is a file, not memory). Throws PlatformError when it
    // cannot be made.
    QIODevice& renderPdf();

    // The pages of the document so far, the current one included.
    int pageCount() const;

    // Opens the device, paints the page through paintPage and closes it.
    // Throws PlatformError on failure, leaving nothing behind.
    virtual void printPage() = 0;

private:
    using Operations = std::vector<std::function<void(QPainter&)>>;
    static void paintOperations(QPainter& painter, const Operations& operations);

    struct Spool;
    // Paints the current page into the document and forgets its operations.
    void spoolPage(bool moreToCome);

    QPageSize m_pageSize { QPageSize::JisB4 };
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
    QFont m_font;
    QPointF m_position;
    double m_penWidth = 1; // twips
    QString m_documentName;
    bool m_ended = false;
    Operations m_operations;
    std::unique_ptr<Spool> m_spool; // the document's PDF once a page is in it
};
