#include "screens/F_Main.h"

#include "conversion/JetConversion.h"
#include "platform/AppEnvironment.h"
#include "platform/Fonts.h"
#include "platform/MessageBox.h"
#include "screens/F_Itiran.h"
#include "screens/F_Tyukai.h"
#include "screens/FailureBoundary.h"
#include "screens/GuideKey.h"
#include "screens/ScreenKit.h"
#include "screens/Twips.h"
#include "store/PropertyStore.h"

#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>

namespace {

// The menu's decoration: a field, a house and a cloud in green, grey and
// white, at its own size of 2851 x 1859 twips in the top-left corner.
class MenuDecoration : public QWidget
{
public:
    explicit MenuDecoration(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("Decoration"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(twipsRect(0, 0, 2851, 1859));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double w = width();
        const double h = height();
        p.setPen(Qt::NoPen);
        // Rolling green ground across the bottom.
        QPainterPath ground;
        ground.moveTo(0, h * 0.72);
        ground.cubicTo(w * 0.3, h * 0.55, w * 0.6, h * 0.85, w, h * 0.7);
        ground.lineTo(w, h);
        ground.lineTo(0, h);
        ground.closeSubpath();
        p.setBrush(QColor(70, 170, 80));
        p.drawPath(ground);
        // A grey house with a darker roof.
        p.setBrush(QColor(160, 160, 160));
        p.drawRect(QRectF(w * 0.52, h * 0.42, w * 0.26, h * 0.30));
        p.setBrush(QColor(100, 100, 100));
        QPainterPath roof;
        roof.moveTo(w * 0.48, h * 0.44);
        roof.lineTo(w * 0.65, h * 0.22);
        roof.lineTo(w * 0.82, h * 0.44);
        roof.closeSubpath();
        p.drawPath(roof);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(w * 0.57, h * 0.50, w * 0.06, h * 0.09));
        p.drawRect(QRectF(w * 0.67, h * 0.50, w * 0.06, h * 0.09));
        // A white cloud outlined in grey.
        p.setPen(QPen(QColor(150, 150, 150), 1));
        p.drawEllipse(QRectF(w * 0.08, h * 0.12, w * 0.18, h * 0.16));
        p.drawEllipse(QRectF(w * 0.18, h * 0.07, w * 0.20, h * 0.20));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(w * 0.12, h * 0.18, w * 0.22, h * 0.09));
    }
};

struct MenuButton
{
    const char* text;
    int top; // twips
    QColor face;
};

const MenuButton kMenuButtons[3] = {
    { "物件登録一覧", 5325, QColor(255, 255, 0) },
    { "物件印刷・登録", 7125, QColor(0, 255, 0) },
    { "終了", 8925, QColor(255, 128, 255) },
};

constexpr int kButtonLeft = 4755; // twips
constexpr int kButtonWidth = 5745; // twips
constexpr int kButtonHeight = 975; // twips
constexpr int kFrameLeft = 4635; // twips; the frames stand 120 twips outside the buttons
constexpr int kFrameWidth = 6015; // twips, as the layout gives it (150 twips spare on the right)
constexpr int kFrameHeight = 1215; // twips

// The day's copy waits for the menu's first paint, but no longer than this.
constexpr int kLatestDailyCopyMs = 2000;

} // namespace

F_Main::F_Main(ScreenServices services, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("F_Main"));
    setUpScreenWindow(this);

    new MenuDecoration(this);
    const QFont popFont = screenFont(kFontPop, 21.75);
    makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Quintaveli"), 1080, 720, 5580, 540, popFont, true);

    for (int i = 0; i < 3; ++i) {
        makeShape(
            this, QStringLiteral("Shape_%1").arg(i), kFrameLeft, kMenuButtons[i].top - 120, kFrameWidth, kFrameHeight);
    }
    for (int i = 0; i < 3; ++i) {
        m_command1[i]
            = makeFaceButton(this, QStringLiteral("Command1_%1").arg(i), QString::fromUtf8(kMenuButtons[i].text),
                kButtonLeft, kMenuButtons[i].top, kButtonWidth, kButtonHeight, popFont, kMenuButtons[i].face);
        connect(m_command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    }
    setTabOrder(m_command1[0], m_command1[1]);
    setTabOrder(m_command1[1], m_command1[2]);
    addGuideKey(this, m_services, kGuideMainMenu);
}

void F_Main::start()
{
    Form_Load();
    m_dailyCopyDue = true;
    show();
    m_command1[0]->setFocus();
    // A menu that is never painted (started minimised) still gets its copy.
    QTimer::singleShot(kLatestDailyCopyMs, this, [this] { takeDailyCopy(); });
}

bool F_Main::event(QEvent* event)
{
    // Queued: it runs once the whole window is painted and on the screen.
    if (event->type() == QEvent::Paint && m_dailyCopyDue)
        QTimer::singleShot(0, this, [this] { takeDailyCopy(); });
    return QWidget::event(event);
}

void F_Main::takeDailyCopy()
{
    if (!m_dailyCopyDue)
        return;
    m_dailyCopyDue = false;
    m_services.store.Backup_If_Due();
    m_services.store.Forget_Old_Deleted(); // after the day's copy, which still holds them
}

void F_Main::Form_Load()
{
    PropertyStore& store = m_services.store;
    if (store.Open_Database())
        return;
    // The Windows program's Access file: offered for conversion first, unless
    // the program keeps its properties on a server and uses no file.
    if (m_services.jetConversion && store.usesFile()) {
        switch (m_services.jetConversion->offerAtStartUp(store.databasePath(), m_services.messages)) {
        case JetConversion::Offer::Converted:
            if (store.Open_Database())
                return;
            break;
        case JetConversion::Offer::Failed:
            return; // its message named the file and the reason
        case JetConversion::Offer::NotJet:
        case JetConversion::Offer::Declined:
            break;
        }
    }
    // Said once, now: an agent must not find out from a failed save. Most
    // reasons name the file themselves; the others get it in the first line.
    const QString path = QDir::toNativeSeparators(store.databaseLocation());
    const QString reason = store.openFailure();
    const QString failed = reason.contains(path)
        ? QStringLiteral("データベースを開けませんでした。")
        : QStringLiteral("データベースファイル %1 を開けませんでした。").arg(path);
    m_services.messages.show(failed + QLatin1Char('\n') + reason + QLatin1Char('\n')
            + QStringLiteral("物件の登録・一覧・削除はできません。"),
        MB_Critical, kMessageTitle);
}

void F_Main::closeEvent(QCloseEvent* event)
{
    m_services.store.Close_Database();
    QWidget::closeEvent(event);
}

void F_Main::Command1_Click(int index)
{
    switch (index) {
    case 0:
        runHandler(m_services.messages, [this] { F_Itiran::openFromMenu(m_services); });
        break;
    case 1:
        runHandler(m_services.messages, [this] { F_Tyukai::openFromMenu(m_services); });
        break;
    case 2:
        // Closing leaves Fudousan.mdb complete on its own, with no log beside
        // it: an agent who copies that one file after 終了 copies everything.
        m_services.store.Close_Database();
        m_services.environment.endApplication();
        break;
    default:
        break;
    }
}
