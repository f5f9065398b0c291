#include "platform/print/QtPrintPreview.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// The preview window: the page and a tool bar to fit and zoom it. Printing
// from here is left out on purpose: the flyer is printed with 印刷, which
// also registers the property.
class PreviewWindow : public QDialog
{
public:
    PreviewWindow(QPrinter& printer, QWidget* parent)
        : QDialog(parent)
    {
        setObjectName(QStringLiteral("PrintPreviewWindow"));
        setWindowTitle(QStringLiteral("印刷プレビュー"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* tools = new QToolBar(this);
        tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
        m_view = new QPrintPreviewWidget(&printer, this);
        m_view->setObjectName(QStringLiteral("PrintPreviewWidget"));
        layout->addWidget(tools);
        layout->addWidget(m_view, 1);

        auto* fits = new QActionGroup(this);
        QAction* fitPage = tools->addAction(QStringLiteral("ページ全体"), m_view, &QPrintPreviewWidget::fitInView);
        QAction* fitWidth = tools->addAction(QStringLiteral("幅に合わせる"), m_view, &QPrintPreviewWidget::fitToWidth);
        for (QAction* fit : { fitPage, fitWidth }) {
            fit->setCheckable(true);
            fits->addAction(fit);
        }
        fitPage->setChecked(true);
        tools->addSeparator();
        QAction* zoomIn = tools->addAction(QStringLiteral("拡大"), m_view, [this] { m_view->zoomIn(); });
        zoomIn->setShortcuts(QKeySequence::ZoomIn);
        QAction* zoomOut = tools->addAction(QStringLiteral("縮小"), m_view, [this] { m_view->zoomOut(); });
        zoomOut->setShortcuts(QKeySequence::ZoomOut);
        m_zoom = new QLabel(this);
        m_zoom->setMinimumWidth(m_zoom->fontMetrics().horizontalAdvance(QStringLiteral("0000%")) + 8);
        m_zoom->setAlignment(Qt::AlignCenter);
        tools->addWidget(m_zoom);
        tools->addSeparator();
        tools->addAction(QStringLiteral("閉じる"), this, &QDialog::reject);
        auto* hint = new QLabel(QStringLiteral("  印刷するときは、閉じてから「印刷」を押して下さい。"), this);
        tools->addWidget(hint);

        // Zooming leaves both fit modes.
        connect(m_view, &QPrintPreviewWidget::previewChanged, this, [this, fits] {
            if (m_view->zoomMode() == QPrintPreviewWidget::CustomZoom) {
                const QList<QAction*> actions = fits->actions();
                for (QAction* fit : actions)
                    fit->setChecked(false);
            }
            m_zoom->setText(QStringLiteral("%1%").arg(qRound(m_view->zoomFactor() * 100)));
        });

        const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
        const QSize available = screen ? screen->availableGeometry().size() : QSize(1280, 960);
        resize(available * 0.8);
    }

    QPrintPreviewWidget* view() const { return m_view; }

private:
    QPrintPreviewWidget* m_view = nullptr;
    QLabel* m_zoom = nullptr;
};

} // namespace

std::unique_ptr<Printer> QtPrintPreview::openPreview()
{
    return std::make_unique<QtPreviewPrinter>();
}

void QtPreviewPrinter::printPage()
{
    // A PDF device, never a print queue: the page is the one the PDF and the
    // printer get, whatever paper the system's printer holds.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setDocName(documentName());
    printer.setPageLayout(pageLayout());

    PreviewWindow window(printer, QApplication::activeWindow());
    // The preview asks for the page again whenever it lays the pages out anew.
    QObject::connect(window.view(), &QPrintPreviewWidget::paintRequested, &window, [this](QPrinter* device) {
        QPainter painter;
        if (painter.begin(device)) {
            paintPage(painter);
            painter.end();
        }
    });
    window.exec();
}
