#include "screens/F_PrinterSetup.h"

#include "platform/MessageBox.h"
#include "screens/FailureBoundary.h"
#include "screens/ScreenKit.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString kTitle = QStringLiteral("プリンターの設定");
const QString kNoB4 = QStringLiteral("このプリンターにはB4（JIS）の用紙がないため、チラシの印刷には使えません。");
const QString kNoQueue = QStringLiteral("印刷サーバーにプリンターがありません。チラシはPDFファイルとして"
                                        "書類フォルダーに保存されます。");

enum Column { kNameColumn, kLocationColumn, kB4Column, kStateColumn };
constexpr int kIndexRole = Qt::UserRole; // the queue's index in the list
constexpr int kNameRole = Qt::UserRole + 1; // the queue's name

QString stateText(const PrintQueueInfo& queue)
{
    QString state;
    switch (queue.state) {
    case PrintQueueInfo::State::Idle:
        return QStringLiteral("待機中");
    case PrintQueueInfo::State::Printing:
        return QStringLiteral("印刷中");
    case PrintQueueInfo::State::Stopped:
        state = QStringLiteral("停止中");
        break;
    case PrintQueueInfo::State::Refusing:
        state = QStringLiteral("受け付けていません");
        break;
    }
    return queue.reason.isEmpty() ? state : QStringLiteral("%1（%2）").arg(state, queue.reason);
}

} // namespace

F_PrinterSetup::F_PrinterSetup(PrinterSetup& setup, MessageBox& messages, QWidget* parent)
    : QDialog(parent)
    , m_setup(setup)
    , m_messages(messages)
{
    setObjectName(QStringLiteral("F_PrinterSetup"));
    setWindowIcon(applicationIcon());
    const PrinterChoice remembered = m_setup.choice();
    setWindowTitle(titleFor(remembered));

    auto* layout = new QVBoxLayout(this);
    auto* queuesCaption = new QLabel(QStringLiteral("プリンター(&P)"), this);
    layout->addWidget(queuesCaption);
    m_queues = new QTreeWidget(this);
    m_queues->setObjectName(QStringLiteral("Queues"));
    m_queues->setHeaderLabels(
        { QStringLiteral("名前"), QStringLiteral("場所"), QStringLiteral("B4（JIS）"), QStringLiteral("状態") });
    m_queues->setRootIsDecorated(false);
    m_queues->setAllColumnsShowFocus(true);
    m_queues->setSelectionMode(QAbstractItemView::SingleSelection);
    m_queues->setMinimumWidth(560);
    queuesCaption->setBuddy(m_queues);
    layout->addWidget(m_queues);

    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("Note"));
    m_note->setWordWrap(true);
    layout->addWidget(m_note);

    auto* form = new QFormLayout;
    m_paper = new QComboBox(this);
    m_paper->setObjectName(QStringLiteral("Paper"));
    form->addRow(QStringLiteral("用紙(&Y)"), m_paper);
    m_copies = new QSpinBox(this);
    m_copies->setObjectName(QStringLiteral("Copies"));
    m_copies->setRange(PrinterChoice::kMinCopies, PrinterChoice::kMaxCopies);
    m_copies->setSuffix(QStringLiteral(" 部"));
    m_copies->setValue(remembered.copies);
    form->addRow(QStringLiteral("部数(&C)"), m_copies);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("設定"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("OK"));
    m_ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cancel"));
    connect(m_ok, &QPushButton::clicked, this, &F_PrinterSetup::OK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);

    m_queueList = m_setup.queues();
    fillQueues(remembered);
    connect(m_queues, &QTreeWidget::currentItemChanged, this, [this] { queueSelected(PrinterChoice()); });
    queueSelected(remembered);
    m_queues->setFocus();
}

void F_PrinterSetup::openFromMenu(PrinterSetup& setup, MessageBox& messages, QWidget* parent)
{
    std::unique_ptr<F_PrinterSetup> window;
    if (!runHandler(messages, [&] { window = std::make_unique<F_PrinterSetup>(setup, messages, parent); }))
        return;
    window->exec();
}

QString F_PrinterSetup::titleFor(const PrinterChoice& choice)
{
    if (!choice.isChosen())
        return kTitle;
    return QStringLiteral("%1 ― %2、%3、%4部")
        .arg(kTitle, choice.queue, choice.paperName.isEmpty() ? choice.paper : choice.paperName)
        .arg(choice.copies);
}

void F_PrinterSetup::fillQueues(const PrinterChoice& remembered)
{
    QTreeWidgetItem* current = nullptr;
    QTreeWidgetItem* byDefault = nullptr;
    for (int i = 0; i < m_queueList.size(); ++i) {
        const PrintQueueInfo& queue = m_queueList.at(i);
        const bool hasB4 = !queue.b4Papers.isEmpty();
        auto* item = new QTreeWidgetItem(m_queues,
            { queue.isDefault ? QStringLiteral("%1（既定）").arg(queue.name) : queue.name, queue.location,
                hasB4 ? QStringLiteral("あり") : QStringLiteral("なし"), stateText(queue) });
        item->setData(kNameColumn, kIndexRole, i);
        item->setData(kNameColumn, kNameRole, queue.name);
        const QString tip = queue.description.isEmpty() || queue.description == queue.name
            ? QStringLiteral("既定の用紙: %1").arg(queue.defaultPaper)
            : QStringLiteral("%1\n既定の用紙: %2").arg(queue.description, queue.defaultPaper);
        for (int column = kNameColumn; column <= kStateColumn; ++column) {
            item->setToolTip(column, hasB4 ? tip : tip + QLatin1Char('\n') + kNoB4);
            if (!hasB4)
                item->setForeground(column, palette().brush(QPalette::Disabled, QPalette::Text));
        }
        if (queue.name == remembered.queue)
            current = item;
        if (queue.isDefault && !byDefault)
            byDefault = item;
    }
    // Each column as wide as its widest text, and a gap before the next.
    const int gap = m_queues->fontMetrics().horizontalAdvance(QLatin1Char('M'));
    for (int column = kNameColumn; column < kStateColumn; ++column) {
        m_queues->resizeColumnToContents(column);
        m_queues->setColumnWidth(column, m_queues->columnWidth(column) + gap);
    }
    if (!current)
        current = byDefault ? byDefault : m_queues->topLevelItem(0);
    if (current)
        m_queues->setCurrentItem(current);
}

int F_PrinterSetup::selectedQueue() const
{
    const QTreeWidgetItem* item = m_queues->currentItem();
    return item ? item->data(kNameColumn, kIndexRole).toInt() : -1;
}

void F_PrinterSetup::queueSelected(const PrinterChoice& remembered)
{
    m_paper->clear();
    const int index = selectedQueue();
    if (index < 0) {
        m_note->setText(kNoQueue);
        m_note->setVisible(true);
        m_paper->setEnabled(false);
        m_ok->setEnabled(false);
        return;
    }
    const PrintQueueInfo& queue = m_queueList.at(index);
    for (const PrintQueueInfo::Paper& paper : queue.b4Papers) {
        m_paper->addItem(paper.name, paper.id);
        if (queue.name == remembered.queue && paper.id == remembered.paper)
            m_paper->setCurrentIndex(m_paper->count() - 1);
    }
    const bool usable = !queue.b4Papers.isEmpty();
    m_note->setText(usable ? QString() : kNoB4);
    m_note->setVisible(!usable);
    m_paper->setEnabled(usable);
    m_ok->setEnabled(usable);
}

void F_PrinterSetup::OK_Click()
{
    const int index = selectedQueue();
    if (index < 0 || m_paper->currentIndex() < 0)
        return;
    PrinterChoice choice;
    choice.queue = m_queueList.at(index).name;
    choice.paper = m_paper->currentData().toString();
    choice.paperName = m_paper->currentText();
    choice.copies = m_copies->value();
    if (runHandler(m_messages, [&] { m_setup.setChoice(choice); }))
        accept();
}
