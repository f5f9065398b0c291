#include "screens/F_Itiran.h"

#include "platform/EventPump.h"
#include "platform/Fonts.h"
#include "platform/MessageBox.h"
#include "platform/Printer.h"
#include "platform/grid/QtGrid.h"
#include "screens/F_Sakuzyo.h"
#include "screens/F_Tyukai.h"
#include "screens/FailureBoundary.h"
#include "screens/FindBox.h"
#include "screens/FlyerBatch.h"
#include "screens/GuideKey.h"
#include "screens/ScreenKit.h"
#include "screens/Twips.h"
#include "store/PropertyStore.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>

namespace {

// The grid VSF (twips; font in points).
constexpr int kGridLeft = 375;
constexpr int kGridTop = 1380;
constexpr int kGridWidth = 11355;
constexpr int kGridHeight = 6495;
constexpr int kNumberColumnWidth = 810; // twips
constexpr int kKeyColumnWidth = 10005; // twips
constexpr double kGridPoints = 24;

constexpr double kPopPoints = 21.75; // title and buttons

// The buttons stand in frames 2895 x 1335 twips at top 8880.
constexpr int kFrameTop = 8880;
constexpr int kFrameWidth = 2895;
constexpr int kFrameHeight = 1335;

} // namespace

F_Itiran::F_Itiran(ScreenServices services, QWidget* parent)
    : QDialog(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("F_Itiran"));
    setUpScreenWindow(this);

    const QFont popFont = screenFont(kFontPop, kPopPoints);

    // Frames first, so they lie beneath the buttons they frame.
    makeShape(this, QStringLiteral("Shape_0"), 4320, kFrameTop, kFrameWidth, kFrameHeight); // 表示
    makeShape(this, QStringLiteral("Shape_1"), 8040, kFrameTop, kFrameWidth, kFrameHeight); // 削除
    makeShape(this, QStringLiteral("Shape_2"), 11760, kFrameTop, kFrameWidth, kFrameHeight); // 戻る

    m_vsf = new QtGrid({ QStringLiteral("No."), QStringLiteral("物件所在地") }, this);
    m_vsf->setObjectName(QStringLiteral("VSF"));
    m_vsf->setFont(screenFont(kFontGothic, kGridPoints));
    m_vsf->setGeometry(twipsRect(kGridLeft, kGridTop, kGridWidth, kGridHeight));
    m_vsf->setColumnWidth(0, twipsToPixels(kNumberColumnWidth));
    m_vsf->setColumnWidth(kListKeyColumn, twipsToPixels(kKeyColumnWidth));

    makeLabel(
        this, QStringLiteral("Label1"), QStringLiteral("不動産売買物件一覧表"), 390, 360, 4590, 525, popFont, true);

    m_command1 = makeFaceButton(this, QStringLiteral("Command1"), QStringLiteral("戻る"), 12000, 9120, 2415, 915,
        popFont, QColor(255, 128, 128));
    m_command2 = makeFaceButton(this, QStringLiteral("Command2"), QStringLiteral("削除"), 8280, 9060, 2415, 1005,
        popFont, QColor(128, 255, 128));
    m_command3 = makeFaceButton(
        this, QStringLiteral("Command3"), QStringLiteral("表示"), 4560, 9060, 2415, 1005, popFont, QColor(255, 255, 0));
    for (QPushButton* button : { m_command1, m_command2, m_command3 }) {
        // Enter in the grid must not press a button behind the agent's back.
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(m_command1, &QPushButton::clicked, this, &F_Itiran::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &F_Itiran::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &F_Itiran::Command3_Click);

    // The grid's menu: one line per entry.
    m_listMenu = new QMenu(this);
    m_listMenu->setObjectName(QStringLiteral("ListMenu"));
    addListAction(QStringLiteral("絞り込み…"), &F_Itiran::Find_Click, QKeySequence(Qt::CTRL | Qt::Key_F));
    addListAction(QStringLiteral("削除した物件…"), &F_Itiran::Deleted_Click);
    addListAction(QStringLiteral("選んだ物件のチラシを印刷"), &F_Itiran::PrintSelectedFlyers)
        ->setObjectName(QStringLiteral("PrintSelectedFlyers"));
    m_vsf->installEventFilter(this);
    m_vsf->viewport()->installEventFilter(this);

    setTabOrder(m_vsf, m_command1);
    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_command3);
    m_vsf->setFocus();
    addGuideKey(this, m_services, kGuideListScreen);
}

F_Itiran::~F_Itiran() = default;

void F_Itiran::openFromMenu(ScreenServices services)
{
    std::unique_ptr<F_Tyukai> entry;
    {
        F_Itiran list(services);
        list.Form_Load();
        list.exec();
        entry = list.takeEntryScreen();
    } // the list is gone before the entry screen shows
    if (entry)
        entry->exec();
}

void F_Itiran::Form_Load()
{
    runHandler(m_services.messages, [this] { m_services.store.Fill_Property_List(*m_vsf); });
}

void F_Itiran::Command1_Click()
{
    close();
}

void F_Itiran::Command2_Click()
{
    runHandler(m_services.messages, [this] { m_services.store.Delete_Property(*m_vsf); });
}

void F_Itiran::Command3_Click()
{
    runHandler(m_services.messages, [this] {
        const int count = m_vsf->selectedRowCount();
        if (count == 0) {
            m_services.messages.show(kSelectDataMessage, MB_Critical, kMessageTitle);
            return;
        }
        // Positions run from the top down: the last is the lowest line. Its
        // row key names the very row the line was filled from.
        const QString rowKey = m_vsf->rowKey(m_vsf->selectedRow(count - 1));

        // A new entry screen starts with no map path; the loaded row gives it its own.
        auto entry = std::make_unique<F_Tyukai>(m_services);
        m_services.store.Load_Property(rowKey, *entry);
        m_entryScreen = std::move(entry);
        close();
    });
}

std::unique_ptr<F_Tyukai> F_Itiran::takeEntryScreen()
{
    return std::move(m_entryScreen);
}

QAction* F_Itiran::addListAction(const QString& text, void (F_Itiran::*handler)(), const QKeySequence& shortcut)
{
    QAction* action = m_listMenu->addAction(text);
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action); // the shortcut works while the menu is closed
    }
    return action;
}

bool F_Itiran::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ContextMenu && (watched == m_vsf || watched == m_vsf->viewport())) {
        // At the mouse; from the keyboard, below the focused line.
        const auto* request = static_cast<QContextMenuEvent*>(event);
        QPoint at = request->globalPos();
        if (request->reason() != QContextMenuEvent::Mouse) {
            const QRect line = m_vsf->visualRect(m_vsf->currentIndex());
            at = line.isValid() ? m_vsf->viewport()->mapToGlobal(line.bottomLeft())
                                : m_vsf->mapToGlobal(QPoint(0, m_vsf->horizontalHeader()->height()));
        }
        m_listMenu->popup(at);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void F_Itiran::Find_Click()
{
    runHandler(m_services.messages, [this] {
        FindBox box(m_vsf->findText(), m_services.inputMethod, this);
        const bool applied = box.exec() == QDialog::Accepted;
        m_vsf->setFindText(applied ? box.text() : QString());
    });
}

void F_Itiran::Deleted_Click()
{
    runHandler(m_services.messages, [this] {
        F_Sakuzyo window(m_services, m_services.store.Deleted_Properties(), this);
        if (window.exec() != QDialog::Accepted)
            return;
        // The properties come back at the end of the list: shown whole and
        // in registration order, with them selected and in view.
        m_vsf->setFindText(QString());
        m_vsf->setOrder(QtGrid::Order::Appended);
        const QStringList restored = m_services.store.Restore_Properties(window.chosenKeys(), *m_vsf);
        m_vsf->selectRowKeys(restored);
    });
}

// --- 「選んだ物件のチラシを印刷」 ---------------------------------------------

namespace {

// From this many lines on, the batch shows its progress.
constexpr int kProgressFromLines = 4;

} // namespace

void F_Itiran::PrintSelectedFlyers()
{
    runHandler(m_services.messages, [this] {
        const int count = m_vsf->selectedRowCount();
        if (count == 0) {
            m_services.messages.show(kSelectDataMessage, MB_Critical, kMessageTitle);
            return;
        }
        // Top down, as the list shows them; each key names the very row its
        // line was filled from.
        QStringList rowKeys;
        for (int position = 0; position < count; ++position)
            rowKeys << m_vsf->rowKey(m_vsf->selectedRow(position));

        const std::unique_ptr<Printer> printer = m_services.printers.openPrinter();
        std::unique_ptr<QProgressDialog> progress;
        if (count >= kProgressFromLines) {
            progress = std::make_unique<QProgressDialog>(QString(), QStringLiteral("中止"), 0, count, this);
            progress->setObjectName(QStringLiteral("FlyerProgress"));
            progress->setWindowTitle(QStringLiteral("チラシの印刷"));
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(0);
            progress->setAutoClose(false);
            progress->setAutoReset(false);
            progress->show();
        }
        const FlyerBatchResult result
            = Print_Flyer_Batch(m_services.store, *printer, rowKeys, m_services.messages, [&](int done) {
                  if (progress) {
                      progress->setLabelText(done < count
                              ? QStringLiteral("チラシを印刷しています（%1 / %2）").arg(done + 1).arg(count)
                              : QStringLiteral("プリンターに送っています…"));
                      progress->setValue(done);
                  }
                  m_services.events.processPendingEvents();
                  return !(progress && progress->wasCanceled());
              });
        progress.reset();

        if (result.refused)
            return;
        if (result.cancelled) {
            m_services.messages.show(
                QStringLiteral("印刷を中止しました。チラシは印刷されていません。"), MB_Information, kMessageTitle);
            return;
        }
        if (result.printed == 0) {
            m_services.messages.show(
                QStringLiteral("選んだ物件はすべて削除されていたため、チラシは印刷されませんでした。"), MB_Critical,
                kMessageTitle);
            return;
        }
        QString done = QStringLiteral("チラシを%1枚印刷しました。").arg(result.printed);
        if (result.gone > 0)
            done += QStringLiteral("\n削除されていた%1件の物件は印刷しませんでした。").arg(result.gone);
        m_services.messages.show(done, MB_Information, kMessageTitle);
    });
}
