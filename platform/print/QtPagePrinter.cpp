#include "platform/print/QtPagePrinter.h"

#include "platform/PlatformError.h"
#include "platform/print/PaperSizes.h"

#include <QBuffer>
#include <QDir>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryFile>
#include <QTextBoundaryFinder>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

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

// The temporary file of a document of several pages, and how much of its end
// must hold the PDF's end mark.
const QString kSpoolName = QStringLiteral("fudousan-XXXXXX.pdf");
constexpr qint64 kEndMarkLength = 32;

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

namespace {

// Runs tasks one after the other on a thread of its own, which lasts as long
// as this object: the fonts a PDF document draws with belong to the thread
// that drew them until the document ends.
class PageThread
{
public:
    PageThread()
        : m_thread([this] { run(); })
    {
    }
    ~PageThread()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    PageThread(const PageThread&) = delete;
    PageThread& operator=(const PageThread&) = delete;

    // The task's end, or what it threw.
    std::future<void> post(std::function<void()> task)
    {
        std::packaged_task<void()> packaged(std::move(task));
        std::future<void> done = packaged.get_future();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.push_back(std::move(packaged));
        }
        m_wake.notify_one();
        return done;
    }

private:
    void run()
    {
        for (;;) {
            std::packaged_task<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
                if (m_tasks.empty())
                    return;
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::packaged_task<void()>> m_tasks;
    bool m_stop = false;
    std::thread m_thread; // the last member: starts when the rest is there
};

} // namespace

// The document's PDF while it is written: in memory for one page, in a
// temporary file (removed with it) once a second page is coming. The pages
// of such a document are painted on a thread of their own, each while the
// next one is drawn (its map loaded, above all); one page at a time.
struct QtPagePrinter::Spool
{
    ~Spool()
    {
        if (!thread)
            return;
        // An abandoned document still ends where its fonts live.
        try {
            waitForPainting();
        } catch (...) {
        }
        if (painter.isActive())
            thread->post([this] { painter.end(); }).wait();
    }

    // Waits for the page being painted; throws what painting it threw.
    void waitForPainting()
    {
        if (painting.valid())
            painting.get();
    }

    std::unique_ptr<QIODevice> device;
    std::unique_ptr<QPdfWriter> writer;
    QPainter painter; // ends before the writer and the device go
    std::unique_ptr<PageThread> thread; // none for a document of one page
    std::future<void> painting; // the page being painted
    int pages = 0;
    bool finished = false;
};

QtPagePrinter::QtPagePrinter() = default;

QtPagePrinter::~QtPagePrinter() = default;

void QtPagePrinter::spoolPage(bool moreToCome)
{
    if (!m_spool) {
        auto spool = std::make_unique<Spool>();
        if (moreToCome) {
            auto file = std::make_unique<QTemporaryFile>(QDir(QDir::tempPath()).filePath(kSpoolName));
            if (!file->open())
                throw PlatformError(
                    QStringLiteral("印刷用の一時ファイルを作れませんでした（%1）。").arg(file->errorString()));
            spool->device = std::move(file);
            spool->thread = std::make_unique<PageThread>();
        } else {
            auto buffer = std::make_unique<QBuffer>();
            buffer->open(QIODevice::ReadWrite);
            spool->device = std::move(buffer);
        }
        spool->writer = std::make_unique<QPdfWriter>(spool->device.get());
        spool->writer->setResolution(int(kTwipsPerInch)); // one device unit per twip
        spool->writer->setPageLayout(pageLayout());
        spool->writer->setTitle(documentName());
        spool->writer->setCreator(QStringLiteral("Fudousan"));
        if (!spool->painter.begin(spool->writer.get()))
            throw PlatformError(QStringLiteral("PDFファイルを作れませんでした。"));
        m_spool = std::move(spool);
    } else {
        m_spool->waitForPainting();
    }
    // The page is handed over whole: its pictures and texts leave this
    // printer, which starts the next page empty.
    Spool* spool = m_spool.get();
    auto paint = [spool, first = spool->pages == 0, last = !moreToCome, layout = pageLayout(),
                     operations = std::move(m_operations)] {
        if (!first) {
            // Takes effect from the page begun next.
            spool->writer->setPageLayout(layout);
            if (!spool->writer->newPage())
                throw PlatformError(QStringLiteral("PDFファイルを作れませんでした。"));
        }
        spool->painter.save();
        paintOperations(spool->painter, operations);
        spool->painter.restore();
        // The writer closes the device when it ends.
        if (last && !spool->painter.end())
            throw PlatformError(QStringLiteral("PDFファイルを作れませんでした。"));
    };
    m_operations = Operations();
    ++spool->pages;
    if (!spool->thread)
        paint();
    else if (moreToCome)
        spool->painting = spool->thread->post(std::move(paint));
    else
        spool->thread->post(std::move(paint)).get();
}

void QtPagePrinter::newPage()
{
    if (m_ended)
        return;
    spoolPage(true);
}

QIODevice& QtPagePrinter::renderPdf()
{
    if (m_spool && m_spool->finished)
        return *m_spool->device;
    spoolPage(false);
    Spool& spool = *m_spool;
    spool.finished = true;
    QIODevice& pdf = *spool.device;
    if ((!pdf.isOpen() && !pdf.open(QIODevice::ReadOnly)) || !pdf.seek(pdf.size() - kEndMarkLength)
        || !pdf.read(kEndMarkLength).contains("%%EOF") || !pdf.seek(0))
        // A full temporary folder cuts the file short without an error of
        // the writer's own.
        throw PlatformError(
            QStringLiteral("印刷するPDFを書けませんでした（%1）。一時フォルダー「%2」の空きを確かめて下さい。")
                .arg(pdf.errorString(), QDir::toNativeSeparators(QDir::tempPath())));
    return pdf;
}

int QtPagePrinter::pageCount() const
{
    if (!m_spool)
        return 1;
    return m_spool->finished ? m_spool->pages : m_spool->pages + 1;
}

void QtPagePrinter::endDocument()
{
    if (m_ended)
        return;
    m_ended = true;
    printPage();
    m_operations.clear();
    m_spool.reset();
}

void QtPagePrinter::setDocumentName(const QString& name)
{
    m_documentName = name;
}

Printer::TextExtent QtPagePrinter::measureText(const QString& text)
{
    const QFontMetricsF metrics(m_font);
    return TextExtent { metrics.horizontalAdvance(text), metrics.ascent(), metrics.descent() };
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
    paintOperations(painter, m_operations);
}

void QtPagePrinter::paintOperations(QPainter& painter, const Operations& operations)
{
    const QPaintDevice* device = painter.device();
    painter.scale(device->logicalDpiX() / kTwipsPerInch, device->logicalDpiY() / kTwipsPerInch);
    for (const auto& operation : operations)
        operation(painter);
}
