#include "screens/F_Tyukai.h"

#include "flyer/Flyer.h"
#include "model/PropertyRecord.h"
#include "platform/EventPump.h"
#include "platform/FileOpenDialog.h"
#include "platform/Fonts.h"
#include "platform/InputMethod.h"
#include "platform/MessageBox.h"
#include "platform/PdfFileSource.h"
#include "platform/PictureLoader.h"
#include "platform/PlatformError.h"
#include "platform/PrintPreview.h"
#include "platform/Printer.h"
#include "platform/PrinterSetup.h"
#include "platform/SaveFileDialog.h"
#include "screens/F_PrinterSetup.h"
#include "screens/FailureBoundary.h"
#include "screens/GuideKey.h"
#include "screens/PictureBox.h"
#include "screens/ScreenKit.h"
#include "screens/Tsubo.h"
#include "screens/Twips.h"
#include "store/PropertyStore.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace {

const QString kLocationRequired = QStringLiteral("所在は必ず入力して下さい。");
const QString kPdfDialogTitle = QStringLiteral("PDFとして保存");
const QString kPdfDescription = QStringLiteral("PDFファイル");
const QString kPdfSuffix = QStringLiteral("pdf");
// The first entry, selected when the dialog opens, lists every kind of
// picture the loader reads; the three entries of the Windows program follow.
const QString kMapFilter
    = QStringLiteral("地図画像|*.png;*.jpg;*.jpeg;*.jpe;*.bmp;*.gif;*.webp;*.tif;*.tiff;*.heic;*.heif;*.pdf|"
                     "ビットマップイメージ(*.bmp)|*.bmp|GIF(*.gif)|*.gif|JPG(*.JPG,*JPE)|*.jpg");

// The box whose focus leaves the input method alone: the number is typed in
// whatever mode the agent is in.
constexpr int kNoInputMethodBox = kNoFudousanIndex;

// The ㎡ boxes; the 坪 box of each is the next one.
constexpr int kLandSquareMetresBox = 3;
constexpr int kBuildingSquareMetresBox = 5;

struct BoxPlace
{
    int left, top, width, height; // twips
    const char* name; // what a screen reader calls the field
};

// Tbox(0)..Tbox(27).
const BoxPlace kBoxes[kBoxCount] = {
    { 1200, 1080, 2910, 420, "価格" }, { 1200, 1560, 5895, 420, "所在" }, { 1200, 2040, 5895, 420, "交通" },
    { 1905, 2745, 1980, 420, "土地面積 ㎡" }, { 4635, 2745, 1980, 420, "土地面積 坪" },
    { 1905, 3240, 1980, 420, "建物面積 ㎡" }, { 4635, 3240, 1980, 420, "建物面積 坪" },
    { 1905, 3945, 2100, 420, "地目 登記" }, { 4995, 3945, 2100, 420, "地目 現況" },
    { 1905, 4440, 2100, 420, "建物 構造" }, { 4995, 4440, 2100, 420, "建物 工法" },
    { 4035, 5145, 3060, 420, "都市計画 用途地域" }, { 1905, 5640, 2100, 405, "都市計画 建ぺい率" },
    { 4995, 5640, 2100, 420, "都市計画 容積率" }, { 1905, 6345, 2100, 405, "道路 種類" },
    { 4995, 6345, 2100, 405, "道路 方位" }, { 1905, 6840, 2100, 405, "道路 幅員" },
    { 4995, 6840, 2100, 405, "道路 間口" }, { 1905, 7545, 2100, 405, "設備 水道" },
    { 4995, 7545, 2100, 405, "設備 電気" }, { 1905, 8040, 2100, 405, "設備 排水" },
    { 4995, 8040, 2100, 405, "設備 ガス" }, { 2400, 8745, 4695, 420, "引渡し時期" }, { 1200, 9240, 5895, 420, "備考" },
    { 1920, 9960, 2655, 420, "取引形態" }, { 1920, 10440, 2655, 420, "仲介料" }, { 8415, 9840, 6645, 405, "番号" },
    { 4890, 10320, 10170, 615, nullptr }, // the free line has no caption
};

constexpr double kBoxPoints = 15.75; // pt, bold
constexpr double kNameTextPoints = 26.25; // pt, regular: the large free line

struct Caption
{
    const char* text;
    int left, top, width, height; // twips
    double points; // 15.75 for groups and single fields (bold), 12 for items (bold)
    int box; // the box the caption names
};

// The control array Lbl, Lbl(0)..Lbl(32).
const Caption kCaptions[] = {
    { "価格", 420, 1125, 690, 330, 15.75, 0 },
    { "所在", 420, 1605, 690, 330, 15.75, 1 },
    { "交通", 420, 2085, 690, 330, 15.75, 2 },
    { "土地面積", 420, 2790, 1440, 330, 15.75, 3 },
    { "㎡", 3975, 2790, 345, 330, 15.75, 3 },
    { "坪", 6720, 2790, 345, 330, 15.75, 4 },
    { "建物面積", 420, 3285, 1440, 330, 15.75, 5 },
    { "㎡", 3975, 3270, 345, 330, 15.75, 5 },
    { "坪", 6720, 3270, 345, 330, 15.75, 6 },
    { "地目", 405, 3990, 690, 330, 15.75, 7 },
    { "登記", 1290, 4035, 510, 240, 12, 7 },
    { "現況", 4380, 4035, 510, 240, 12, 8 },
    { "建物", 405, 4470, 690, 330, 15.75, 9 },
    { "構造", 1290, 4530, 510, 240, 12, 9 },
    { "工法", 4380, 4530, 510, 240, 12, 10 },
    { "都市計画", 420, 5190, 1440, 330, 15.75, 11 },
    { "用途地域", 2730, 5220, 1050, 240, 12, 11 },
    { "建ぺい率", 765, 5730, 1050, 240, 12, 12 },
    { "容積率", 4155, 5730, 810, 240, 12, 13 },
    { "道路", 405, 6390, 690, 330, 15.75, 14 },
    { "種類", 1290, 6435, 510, 240, 12, 14 },
    { "方位", 4380, 6435, 510, 240, 12, 15 },
    { "幅員", 1290, 6930, 510, 240, 12, 16 },
    { "間口", 4380, 6930, 510, 240, 12, 17 },
    { "設備", 405, 7590, 690, 330, 15.75, 18 },
    { "水道", 1290, 7635, 510, 240, 12, 18 },
    { "電気", 4380, 7635, 510, 240, 12, 19 },
    { "排水", 1290, 8130, 510, 240, 12, 20 },
    { "ガス", 4380, 8130, 510, 240, 12, 21 },
    { "引渡し時期", 420, 8805, 1815, 330, 15.75, 22 },
    { "備考", 420, 9285, 690, 330, 15.75, 23 },
    { "取引形態", 405, 10005, 1440, 300, 15.75, 24 },
    { "仲介料", 405, 10500, 1065, 300, 15.75, 25 },
};

struct Frame
{
    int left, top, width, height; // twips
};

// The control array Shape: the outer frame, the groups inside it, the
// transaction group below it, and the frames of the three top buttons.
const Frame kFrames[] = {
    { 240, 960, 6975, 8775 }, // price to remarks
    { 240, 960, 6975, 1575 }, // price, location, access
    { 240, 2640, 6975, 1095 }, // areas
    { 240, 3840, 6975, 1095 }, // land category and building
    { 240, 5040, 6975, 1095 }, // city planning
    { 240, 6240, 6975, 1095 }, // road
    { 240, 7440, 6975, 1095 }, // utilities
    { 240, 8640, 6975, 1095 }, // hand-over time and remarks
    { 240, 9840, 4455, 1095 }, // type of transaction and brokerage fee
    { 7680, 240, 2295, 1095 }, // 印刷
    { 10200, 240, 2295, 1095 }, // 登録
    { 12720, 240, 2295, 1095 }, // 戻る
};

struct Button
{
    const char* text;
    int left, top, width, height; // twips
    QColor face;
};

const Button kButtons[4] = {
    { "印刷", 7920, 360, 1785, 825, QColor(255, 255, 128) },
    { "登録", 10440, 360, 1770, 825, QColor(128, 255, 128) },
    { "戻る", 12960, 360, 1785, 825, QColor(255, 128, 128) },
    { "地図表示", 12600, 2040, 2265, 630, QColor(128, 255, 255) },
};
constexpr double kTopButtonPoints = 20.25; // pt, pop face
constexpr double kMapButtonPoints = 15.75; // pt, gothic bold

constexpr int kNoticeBevel = 4; // pixels of the raised edge

// The printing notice: a raised blue panel with its caption in large bold
// type. Type this large is drawn as outlines, which lack the synthetic bold
// that a face without a bold style gets at normal sizes, so the caption is
// thickened here.
class NoticePanel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QFrame::paintEvent(event);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QFontMetricsF metrics(font());
        const QRectF inside = contentsRect();
        const QPointF baseline(inside.center().x() - metrics.horizontalAdvance(text()) / 2,
            inside.center().y() + (metrics.ascent() - metrics.descent()) / 2);
        QPainterPath caption;
        caption.addText(baseline, font(), text());
        const QColor ink = palette().color(QPalette::WindowText);
        // FreeType thickens a synthetic bold by about 1/24 of the em.
        const double weight = font().bold() && !hasBoldStyle() ? QFontInfo(font()).pixelSize() / 24.0 : 0.0;
        painter.setPen(weight > 0 ? QPen(ink, weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin) : Qt::NoPen);
        painter.setBrush(ink);
        painter.drawPath(caption);
    }

private:
    bool hasBoldStyle() const
    {
        const QStringList styles = QFontDatabase::styles(QFontInfo(font()).family());
        return std::any_of(styles.cbegin(), styles.cend(),
            [](const QString& s) { return s.contains(QLatin1String("Bold"), Qt::CaseInsensitive); });
    }
};

} // namespace

F_Tyukai::F_Tyukai(ScreenServices services, QWidget* parent)
    : QDialog(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("F_Tyukai"));
    setUpScreenWindow(this);

    // Frames first, so that they lie beneath the controls they surround; the
    // notice last, so that it lies over every control it overlaps.
    makeFrames();
    makeBoxes();
    makeCaptions();
    makeButtons();
    makePicture();
    makeNotice();
    setTabOrderAndFocus();
    makePrintMenu();
    addGuideKey(this, m_services, kGuideEntryScreen);

    Form_Load();
}

void F_Tyukai::makeFrames()
{
    for (int i = 0; i < int(std::size(kFrames)); ++i) {
        const Frame& f = kFrames[i];
        makeShape(this, QStringLiteral("Shape_%1").arg(i), f.left, f.top, f.width, f.height);
    }
}

void F_Tyukai::makeBoxes()
{
    const QFont boxFont = screenFont(kFontGothic, kBoxPoints, true);
    const QFont nameTextFont = screenFont(kFontGothic, kNameTextPoints);
    for (int i = 0; i < kBoxCount; ++i) {
        const BoxPlace& b = kBoxes[i];
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Tbox_%1").arg(i));
        box->setFont(i == kNameTextIndex ? nameTextFont : boxFont);
        box->setGeometry(twipsRect(b.left, b.top, b.width, b.height));
        // A box takes text of any length.
        box->setMaxLength(std::numeric_limits<int>::max());
        if (b.name)
            box->setAccessibleName(QString::fromUtf8(b.name));
        box->installEventFilter(this);
        m_tbox[i] = box;
    }
}

void F_Tyukai::makeCaptions()
{
    makeLabel(this, QStringLiteral("Label1"), QStringLiteral("売り土地"), 240, 240, 2925, 570,
        screenFont(kFontRounded, 26.25), true);
    makeLabel(this, QStringLiteral("Label2_23"), QStringLiteral("物件地図"), 10200, 2160, 1995, 510,
        screenFont(kFontGothic, 18), true);
    QLabel* numberCaption = makeLabel(
        this, QStringLiteral("Label2_24"), QStringLiteral("番号"), 7455, 9840, 765, 390, screenFont(kFontGothic, 18));
    numberCaption->setBuddy(m_tbox[kNoFudousanIndex]);

    for (int i = 0; i < int(std::size(kCaptions)); ++i) {
        const Caption& c = kCaptions[i];
        QLabel* label = makeLabel(this, QStringLiteral("Lbl_%1").arg(i), QString::fromUtf8(c.text), c.left, c.top,
            c.width, c.height, screenFont(kFontGothic, c.points, true));
        label->setBuddy(m_tbox[c.box]);
    }
}

void F_Tyukai::makeButtons()
{
    for (int i = 0; i < 4; ++i) {
        const Button& b = kButtons[i];
        const QFont font
            = i < 3 ? screenFont(kFontPop, kTopButtonPoints) : screenFont(kFontGothic, kMapButtonPoints, true);
        QPushButton* button = makeFaceButton(this, QStringLiteral("Command1_%1").arg(i), QString::fromUtf8(b.text),
            b.left, b.top, b.width, b.height, font, b.face);
        // In a dialog Qt makes a button the default, so that Enter in any box
        // would press it; here Enter presses only the focused button.
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
        m_command1[i] = button;
    }
}

void F_Tyukai::makePicture()
{
    m_picture1 = new PictureBox(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setGeometry(twipsRect(7425, 2760, 7650, 6990));
}

void F_Tyukai::makeNotice()
{
    m_ssPanel = new NoticePanel(QStringLiteral("印刷中"), this);
    m_ssPanel->setObjectName(QStringLiteral("SSPanel"));
    m_ssPanel->setGeometry(twipsRect(3480, 3720, 9435, 4395));
    m_ssPanel->setFont(screenFont(kFontGothic, 72, true));
    m_ssPanel->setAlignment(Qt::AlignCenter);
    m_ssPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_ssPanel->setLineWidth(kNoticeBevel);
    m_ssPanel->setAutoFillBackground(true);
    QPalette notice = m_ssPanel->palette();
    notice.setColor(QPalette::Window, QColor(0, 0, 255));
    notice.setColor(QPalette::WindowText, Qt::white);
    notice.setColor(QPalette::Light, QColor(128, 128, 255));
    notice.setColor(QPalette::Dark, QColor(0, 0, 128));
    m_ssPanel->setPalette(notice);
    m_ssPanel->setFocusPolicy(Qt::NoFocus);
    m_ssPanel->hide();
}

void F_Tyukai::setTabOrderAndFocus()
{
    // Picture1, 印刷, 戻る, the free line, 登録, 地図表示, the number, then the
    // boxes in index order.
    QList<QWidget*> order = { m_picture1, m_command1[0], m_command1[2], m_tbox[kNameTextIndex], m_command1[1],
        m_command1[3], m_tbox[kNoFudousanIndex] };
    for (int i = 0; i < kNoFudousanIndex; ++i)
        order.append(m_tbox[i]);
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    m_picture1->setFocus();
}

void F_Tyukai::makePrintMenu()
{
    // A pop-up of its own, outside the screen's layout and tab order.
    m_printMenu = new QMenu(this);
    m_printMenu->setObjectName(QStringLiteral("PrintMenu"));
    const QString items[]
        = { QStringLiteral("印刷プレビュー"), QStringLiteral("PDFとして保存…"), QStringLiteral("プリンターの設定…") };
    for (int i = 0; i < 3; ++i)
        connect(m_printMenu->addAction(items[i]), &QAction::triggered, this, [this, i] { PrintMenu_Click(i); });
    m_printMenu->actions().at(2)->setEnabled(m_services.printerSetup != nullptr);
}

void F_Tyukai::openFromMenu(ScreenServices services)
{
    F_Tyukai screen(services);
    screen.exec();
}

QString F_Tyukai::boxText(int index) const
{
    return m_tbox[index]->text();
}

void F_Tyukai::setBoxText(int index, const QString& text)
{
    m_tbox[index]->setText(text);
    // Show the beginning of a text that is wider than its box.
    m_tbox[index]->setCursorPosition(0);
}

QImage F_Tyukai::picture() const
{
    return m_picture1->picture();
}

void F_Tyukai::setPicture(const QImage& picture)
{
    m_picture1->setPicture(picture);
}

void F_Tyukai::setMapNotice(const QString& notice)
{
    m_picture1->setNotice(notice);
}

void F_Tyukai::Form_Load()
{
    m_services.fileDialog.setCancelError(true);
    m_services.fileDialog.setFilter(kMapFilter);
    // The map path belongs to the property on this screen, and a new screen
    // holds none; loading a stored property sets it again afterwards.
    m_services.store.setMapImagePath(QString());
}

void F_Tyukai::Command1_Click(int index)
{
    switch (index) {
    case 0:
        runHandler(m_services.messages, [this] { printProperty(); });
        break;
    case 1:
        runHandler(m_services.messages, [this] { registerProperty(); });
        break;
    case 2:
        runHandler(m_services.messages, [this] { close(); });
        break;
    case 3:
        runHandler(m_services.messages, [this] { showMap(); });
        break;
    default:
        break;
    }
}

void F_Tyukai::PrintMenu_Click(int index)
{
    switch (index) {
    case 0:
        runHandler(m_services.messages, [this] { previewFlyer(); });
        break;
    case 1:
        runHandler(m_services.messages, [this] { saveFlyerAsPdf(); });
        break;
    case 2:
        runHandler(m_services.messages, [this] { choosePrinter(); });
        break;
    default:
        break;
    }
}

bool F_Tyukai::locationEntered()
{
    // Only a truly empty location is refused; blanks are a location.
    if (!boxText(kSyozaiIndex).isEmpty())
        return true;
    m_services.messages.show(kLocationRequired, MB_Critical, kMessageTitle);
    return false;
}

void F_Tyukai::printProperty()
{
    if (!locationEntered())
        return;
    printPropertyOn([this] { return m_services.printers.openPrinter(); });
}

// What 印刷 and the PDF have in common once the location is there: the
// notice, the property registered when new, then the flyer on the printer
// that `openPrinter` hands out.
void F_Tyukai::printPropertyOn(const std::function<std::unique_ptr<Printer>()>& openPrinter)
{
    m_ssPanel->show();
    m_ssPanel->raise();
    m_services.events.processPendingEvents();

    const auto hideNotice = [this] {
        m_ssPanel->hide();
        m_services.events.processPendingEvents();
    };
    try {
        m_services.store.Save_If_New_And_Print(boxText(kSyozaiIndex), *this, [this, &openPrinter] {
            const std::unique_ptr<Printer> printer = openPrinter();
            Print_Flyer(*printer, *this, m_services.messages);
        });
    } catch (...) {
        // The notice goes before the failure is reported.
        hideNotice();
        throw;
    }
    hideNotice();
}

void F_Tyukai::previewFlyer()
{
    // Only a look at the page: nothing is registered.
    const std::unique_ptr<Printer> printer = m_services.preview.openPreview();
    Print_Flyer(*printer, *this, m_services.messages);
}

void F_Tyukai::saveFlyerAsPdf()
{
    if (!locationEntered())
        return;
    // Asked before anything is registered, so that cancelling changes nothing.
    const QString suggested = m_services.pdfFiles.suggestedPath(Flyer_Document_Name(*this));
    const QString path = m_services.saveDialog.askSavePath(kPdfDialogTitle, suggested, kPdfDescription, kPdfSuffix);
    if (path.isEmpty())
        return;
    printPropertyOn([this, &path] { return m_services.pdfFiles.openPdfFile(path); });
}

void F_Tyukai::choosePrinter()
{
    // Chooses only: nothing is registered or printed.
    if (m_services.printerSetup)
        F_PrinterSetup::openFromMenu(*m_services.printerSetup, m_services.messages, this);
}

void F_Tyukai::registerProperty()
{
    if (!locationEntered())
        return;
    m_services.store.Save_Property(*this);
}

void F_Tyukai::showMap()
{
    // Cancelling, or no file chosen, changes nothing and says nothing.
    FileOpenDialog& dialog = m_services.fileDialog;
    try {
        dialog.showOpen();
    } catch (const DialogCancelled&) {
        return;
    }
    const QString path = dialog.fileName();
    if (path.isEmpty())
        return;
    // A file that cannot be shown is named, with why, in one message; the
    // picture and the map path stay as they were, so that registering does
    // not store a property without its map as if all were well.
    QImage map;
    try {
        map = m_services.pictures.load(path);
    } catch (const PlatformError& error) {
        m_services.messages.show(error.description(), MB_Critical, kMessageTitle);
        return;
    }
    if (map.isNull())
        return;
    setPicture(map);
    m_services.store.setMapImagePath(path);
}

void F_Tyukai::fillTsuboFrom(int squareMetresBox)
{
    // The 坪 box beside it, when it is empty: a 坪 box holding text is the
    // agent's, and a ㎡ box that holds no number fills nothing.
    QLineEdit* tsubo = m_tbox[squareMetresBox + 1];
    if (!tsubo->text().isEmpty())
        return;
    const QString area = tsuboFromSquareMetres(m_tbox[squareMetresBox]->text());
    if (!area.isEmpty())
        setBoxText(squareMetresBox + 1, area);
}

bool F_Tyukai::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        // Leaving a ㎡ box (land or building); a context menu on the box
        // is no leaving.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        for (int box : { kLandSquareMetresBox, kBuildingSquareMetresBox }) {
            if (watched == m_tbox[box] && reason != Qt::PopupFocusReason)
                fillTsuboFrom(box);
        }
    } else if (event->type() == QEvent::FocusIn) {
        for (int i = 0; i < kBoxCount; ++i) {
            if (watched == m_tbox[i] && i != kNoInputMethodBox)
                m_services.inputMethod.switchOnHiragana(m_tbox[i]);
        }
    } else if (event->type() == QEvent::ContextMenu && watched == m_command1[0]) {
        // From the keyboard the menu opens below the button, else at the
        // mouse.
        const auto* request = static_cast<QContextMenuEvent*>(event);
        QPushButton* print = m_command1[0];
        m_printMenu->popup(request->reason() == QContextMenuEvent::Mouse
                ? request->globalPos()
                : print->mapToGlobal(print->rect().bottomLeft()));
        return true;
    } else if (event->type() == QEvent::KeyPress) {
        // Enter on a focused button presses it, as Space does; held down,
        // its repeats press nothing more (Space's do not either).
        auto* button = qobject_cast<QPushButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            if (!key->isAutoRepeat())
                button->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void F_Tyukai::keyPressEvent(QKeyEvent* event)
{
    // Escape must not throw away what was typed: only "戻る" and the close
    // button leave the screen.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
