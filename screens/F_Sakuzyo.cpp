#include "screens/F_Sakuzyo.h"

#include "platform/Fonts.h"
#include "platform/MessageBox.h"
#include "screens/ScreenKit.h"
#include "screens/Twips.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

namespace {

constexpr double kPoints = 14;
// The window's client area and the widths of the moment and price columns (twips).
constexpr int kWidth = 11520;
constexpr int kHeight = 7200;
constexpr int kMomentWidth = 3000;
constexpr int kPriceWidth = 2400;

} // namespace

F_Sakuzyo::F_Sakuzyo(ScreenServices services, std::vector<DeletedProperty> kept, QWidget* parent)
    : QDialog(parent)
    , m_services(services)
    , m_kept(std::move(kept))
{
    setObjectName(QStringLiteral("F_Sakuzyo"));
    setWindowTitle(QStringLiteral("削除した物件"));
    setWindowIcon(applicationIcon());
    setFont(screenFont(kFontGothic, kPoints));
    setFixedSize(twipsToPixels(kWidth), twipsToPixels(kHeight));

    auto* note = new QLabel(m_kept.empty() ? QStringLiteral("削除した物件はありません。")
                                           : QStringLiteral("削除した物件は %1 日のあいだ、ここから元に戻せます。")
                                                 .arg(PropertyStore::kDeletedKeptDays),
        this);
    note->setObjectName(QStringLiteral("Note"));

    m_table = new QTableWidget(int(m_kept.size()), 3, this);
    m_table->setObjectName(QStringLiteral("Deleted"));
    m_table->setHorizontalHeaderLabels(
        { QStringLiteral("削除した日時"), QStringLiteral("物件所在地"), QStringLiteral("価格") });
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionsClickable(false);
    m_table->horizontalHeader()->setHighlightSections(false);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_table->setColumnWidth(0, twipsToPixels(kMomentWidth));
    m_table->setColumnWidth(2, twipsToPixels(kPriceWidth));
    for (int r = 0; r < int(m_kept.size()); ++r) {
        const DeletedProperty& property = m_kept[std::size_t(r)];
        const QString texts[] = { property.deletedAt.toString(QStringLiteral("yyyy/MM/dd HH:mm")),
            property.location.value_or(QString()), property.price.value_or(QString()) };
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setToolTip(texts[c]);
            m_table->setItem(r, c, item);
        }
    }

    m_restore = new QPushButton(QStringLiteral("元に戻す"), this);
    m_restore->setObjectName(QStringLiteral("Restore"));
    m_restore->setDefault(true); // Enter in the table
    auto* closeButton = new QPushButton(QStringLiteral("閉じる"), this);
    closeButton->setObjectName(QStringLiteral("Close"));
    closeButton->setAutoDefault(false);
    connect(m_restore, &QPushButton::clicked, this, &F_Sakuzyo::Restore_Click);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_restore);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    // The last deletion is chosen: its lines share the newest moment.
    if (!m_kept.empty()) {
        int last = 0;
        while (last + 1 < int(m_kept.size()) && m_kept[std::size_t(last + 1)].deletedAt == m_kept.front().deletedAt)
            ++last;
        m_table->setCurrentCell(0, 1, QItemSelectionModel::NoUpdate);
        m_table->setRangeSelected(QTableWidgetSelectionRange(0, 0, last, 2), true);
    }
    m_table->setFocus();
}

void F_Sakuzyo::Restore_Click()
{
    std::set<int> rows;
    for (const QTableWidgetSelectionRange& range : m_table->selectedRanges()) {
        for (int r = range.topRow(); r <= range.bottomRow(); ++r)
            rows.insert(r);
    }
    if (rows.empty()) {
        m_services.messages.show(kSelectDataMessage, MB_Critical, kMessageTitle);
        return;
    }
    m_chosen.clear();
    for (int r : rows)
        m_chosen << m_kept[std::size_t(r)].key;
    accept();
}
