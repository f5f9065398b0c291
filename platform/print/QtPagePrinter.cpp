#include "platform/print/QtPagePrinter.h"

#include "platform/PlatformError.h"
#include "platform/print/PaperSizes.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBoundaryFinder>

#include <cmath>

namespace {

constexpr double kTwipsPerInch = 1440;
constexpr double kTwipsPerPoint = 20;
constexpr double kPenSettingUnit = kTwipsPerInch / 600; // twips per unit of the pen setting

// How far past the page's right edge a cut text still reaches, in line
// heights of its font: glyphs that shaping joins or moves across the cut lie
// wholly beyond the edge.
constexpr double kCutMarginLines = 4;
// Characters measured first when looking for the cut; doubled until the
// measured part reaches past the edge.
constexpr qsizetype kFirstMeasure = 256;

// Characters that may set a left-to-right line out of its written order, so
// that where a character stands depends on what follows it.
bool hasRightToLeft(QStringView text)
{
    for (const char32_t c : text.toUcs4()) {
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
        case QChar::DirFSI:
            return true;
        default:
            break;
        }
    }
    return false;
}

// The beginning of `text` that covers `room` (the width left up to the
// page's right edge) and the margin beyond it, cut between two characters as
// a reader sees them; the whole text when it is shorter or may not be cut.
// Qt shapes and lays out the whole of a line however far it runs off the
// page, which for a pasted megabyte takes seconds for each text, and places
// glyphs tens of millions of units away wrongly; what lies past the edge is
// never seen anyway.
QString visiblePart(const QString& text, const QPainter& painter, const QFontMetricsF& metrics, double room)
{
    if (text.size() <= kFirstMeasure)
        return text;
    // The line's own direction: given, or that of its first strong character.
    const Qt::LayoutDirection direction = painter.layoutDirection();
    if (direction == Qt::RightToLeft || (direction == Qt::LayoutDirectionAuto && text.isRightToLeft()))
        return text;
    const double reach = room + kCutMarginLines * metrics.height();
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype measure = kFirstMeasure; measure < text.size(); measure *= 2) {
        characters.setPosition(measure);
        if (!characters.isAtBoundary() && characters.toNextBoundary() < 0)
            break;
        const QString head = text.left(characters.position());
        if (hasRightToLeft(head))
            break;
        if (metrics.horizontalAdvance(head) > reach)
            return head;
    }
    return text;
}

QPen linePen(double width)
{
    return QPen(QBrush(Qt::black), width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

} // namespace

void QtPagePrinter::setPaperSize(int code)
{
    const QPageSize size = pageSizeOfWindowsCode(code);
    if (!size.isValid())
        throw PlatformError(QStringLiteral("用紙サイズ %1 はこのプリンターでは使えません。").arg(code));
    m_pageSize = size;
}

void QtPagePrinter::setOrientation(int code)
{
    if (code == 1)
        m_orientation = QPageLayout::Portrait;
    else if (code == kOrientationLandscape)
        m_orientation = QPageLayout::Landscape;
    else
        throw PlatformError(QStringLiteral("用紙の向き %1 はこのプリンターでは使えません。").arg(code));
}

void QtPagePrinter::setFontName(const QString& family)
{
    // A face the system lacks is asked for by the families that stand in for
    // it, in their order: Qt would otherwise look for the missing face first,
    // and have fontconfig sort every font installed for one that might do,
    // before it takes the first of them.
    const QStringList substitutes = QFont::substitutes(family);
    if (substitutes.isEmpty())
        m_font.setFamily(family);
    else
        m_font.setFamilies(substitutes);
}

void QtPagePrinter::setFontSize(float points)
{
    // Pixels of the twips system: the painter's scale turns them into the
    // right size on the device (a point size would be scaled twice).
    m_font.setPixelSize(std::max(1, int(std::lround(points * kTwipsPerPoint))));
}

void QtPagePrinter::setFontBold(bool bold)
{
    m_font.setBold(bold);
}

void QtPagePrinter::setCurrentPosition(float x, float y)
{
    m_position = QPointF(x, y);
}

void QtPagePrinter::printText(const QString& text)
{
    if (text.isEmpty())
        return;
    m_operations.push_back([font = m_font, at = m_position, text](QPainter& painter) {
        painter.setFont(font);
        const QFontMetricsF metrics(painter.font(), painter.device());
        const double pageRight = painter.worldTransform().inverted().map(QPointF(painter.device()->width(), 0)).x();
        const QString shown = visiblePart(text, painter, metrics, pageRight - at.x());
        painter.drawText(QPointF(at.x(), at.y() + metrics.ascent()), shown);
    });
}

void QtPagePrinter::drawLine(float x1, float y1, float x2, float y2)
{
    m_operations.push_back([width = m_penWidth, line = QLineF(x1, y1, x2, y2)](QPainter& painter) {
        painter.setPen(linePen(width));
        painter.drawLine(line);
    });
}

void QtPagePrinter::drawBox(float x1, float y1, float x2, float y2)
{
    const QRectF box = QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized();
    m_operations.push_back([width = m_penWidth, box](QPainter& painter) {
        painter.setPen(linePen(width));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box);
    });
}

void QtPagePrinter::setPenSetting(int value)
{
    m_penWidth = penWidthTwips(value);
}

void QtPagePrinter::drawPicture(const QImage& picture, float x, float y, float width, float height)
{
    if (picture.isNull() || !(width > 0) || !(height > 0))
        return;
    const QRectF target(x, y, width, height);
    m_operations.push_back([picture, target](QPainter& painter) {
        // Only the part of the picture on the page is handed to the device:
        // the rest would be cut off by it anyway, and a PDF would otherwise
        // re-encode and carry the whole of a large map.
        const QPaintDevice* device = painter.device();
        const QRectF page(0, 0, device->width() * kTwipsPerInch / device->logicalDpiX(),
            device->height() * kTwipsPerInch / device->logicalDpiY());
        if (page.contains(target)) {
            painter.drawImage(target, picture);
            return;
        }
        const QRectF visible = page.intersected(target);
        if (visible.isEmpty())
            return;
        const double pixelsPerTwipX = picture.width() / target.width();
        const double pixelsPerTwipY = picture.height() / target.height();
        const QRect source = QRect(QPoint(int(std::floor((visible.left() - target.left()) * pixelsPerTwipX)),
                                       int(std::floor((visible.top() - target.top()) * pixelsPerTwipY))),
            QPoint(int(std::ceil((visible.right() - target.left()) * pixelsPerTwipX)) - 1,
                int(std::ceil((visible.bottom() - target.top()) * pixelsPerTwipY)) - 1))
                                 .intersected(picture.rect());
        // The part keeps its own place and scale: whole pixels of the picture.
        const QRectF part(target.left() + source.left() / pixelsPerTwipX, target.top() + source.top() / pixelsPerTwipY,
            source.width() / pixelsPerTwipX, source.height() / pixelsPerTwipY);
        painter.drawImage(part, picture.copy(source));
    });
}

QByteArray QtPagePrinter::renderPdf() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(int(kTwipsPerInch)); // one device unit per twip
        writer.setPageLayout(pageLayout());
        writer.setTitle(documentName());
        writer.setCreator(QStringLiteral("Fudousan"));
        QPainter painter;
        if (!painter.begin(&writer))
            throw PlatformError(QStringLiteral("PDFファイルを作れませんでした。"));
        paintPage(painter);
        if (!painter.end())
            throw PlatformError(QStringLiteral("PDFファイルを作れませんでした。"));
    }
    return buffer.data();
}

void QtPagePrinter::endDocument()
{
    if (m_ended)
        return;
    m_ended = true;
    printPage();
    m_operations.clear();
}

void QtPagePrinter::setDocumentName(const QString& name)
{
    m_documentName = name;
}

double QtPagePrinter::penWidthTwips(int value)
{
    return std::max(1.0, value * kPenSettingUnit);
}

QPageLayout QtPagePrinter::pageLayout() const
{
    return QPageLayout(m_pageSize, m_orientation, QMarginsF(0, 0, 0, 0));
}

void QtPagePrinter::paintPage(QPainter& painter) const
{
    const QPaintDevice* device = painter.device();
    painter.scale(device->logicalDpiX() / kTwipsPerInch, device->logicalDpiY() / kTwipsPerInch);
    for (const auto& operation : m_operations)
        operation(painter);
}
