#include "platform/grid/QtGrid.h"

#include "platform/PlatformError.h"

#include <QAbstractTableModel>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <type_traits>
#include <utility>

// The cells of the data rows, row-major in one vector; the header texts apart.
class GridModel : public QAbstractTableModel
{
public:
    explicit GridModel(const QStringList& headers, QObject* parent)
        : QAbstractTableModel(parent)
        , m_headers(headers)
        , m_width(int(headers.size()))
    {
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_rows; }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_width; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return QVariant();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: // a long location cut off at the column's edge can still be read whole
            return cell(index.row(), index.column());
        case Qt::TextAlignmentRole:
            return int(index.column() == 0 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return QVariant();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= m_width)
            return QVariant();
        if (role == Qt::DisplayRole)
            return m_headers.at(section);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        return QVariant();
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    }

    const QString& cell(int row, int column) const { return m_cells[std::size_t(row) * m_width + column]; }

    QString header(int column) const { return m_headers.at(column); }

    void resize(int rows)
    {
        if (rows < m_rows) {
            beginRemoveRows(QModelIndex(), rows, m_rows - 1);
            m_cells.resize(std::size_t(rows) * m_width);
            m_keys.resize(std::size_t(rows));
            m_rows = rows;
            endRemoveRows();
        } else if (rows > m_rows) {
            beginInsertRows(QModelIndex(), m_rows, rows - 1);
            m_cells.resize(std::size_t(rows) * m_width);
            m_keys.resize(std::size_t(rows));
            m_rows = rows;
            endInsertRows();
        }
    }

    const QString& key(int row) const { return m_keys[std::size_t(row)]; }

    // Appends `rows`, sharing their texts, or taking them over when `rows`
    // is an rvalue.
    template <typename Rows> void append(Rows&& rows)
    {
        constexpr bool kTake = std::is_rvalue_reference_v<Rows&&>;
        if (rows.empty())
            return;
        const int added = int(rows.size());
        beginInsertRows(QModelIndex(), m_rows, m_rows + added - 1);
        m_cells.reserve(m_cells.size() + rows.size() * m_width);
        m_keys.reserve(m_keys.size() + rows.size());
        const auto pass = [](auto& text) -> QString {
            if constexpr (kTake)
                return std::move(text);
            else
                return text;
        };
        for (auto& row : rows) {
            m_cells.push_back(pass(row.first));
            if (m_width > 1)
                m_cells.push_back(pass(row.second));
            for (int c = 2; c < m_width; ++c)
                m_cells.emplace_back();
            m_keys.push_back(pass(row.key));
        }
        m_rows += added;
        endInsertRows();
    }

private:
    QStringList m_headers;
    int m_width;
    int m_rows = 0;
    std::vector<QString> m_cells;
    std::vector<QString> m_keys; // one per data row
};

namespace {

// Draws column 0 as a fixed column: in the header's colours and bevel, never
// highlighted by the selection.
class FixedColumnDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() != 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionHeader header;
        header.initFrom(option.widget);
        header.rect = option.rect;
        header.state = QStyle::State_Enabled | QStyle::State_Raised;
        header.orientation = Qt::Vertical;
        header.position = QStyleOptionHeader::Middle;
        header.textAlignment = Qt::AlignCenter;
        header.text = index.data(Qt::DisplayRole).toString();
        header.fontMetrics = option.fontMetrics;
        QStyle* style = option.widget ? option.widget->style() : nullptr;
        if (!style) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // Long running numbers shrink to fit the narrow column rather than
        // lose digits.
        QFont font = option.font;
        const int room = option.rect.width() - 4; // pixels
        const int needed = QFontMetrics(font).horizontalAdvance(header.text);
        if (needed > room && room > 0 && font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * room / needed);
        header.fontMetrics = QFontMetrics(font);
        painter->save();
        painter->setFont(font);
        style->drawControl(QStyle::CE_Header, &header, painter, option.widget);
        painter->restore();
    }
};

[[noreturn]] void outside(int row, int column)
{
    throw PlatformError(QStringLiteral("一覧表にセル（行 %1、列 %2）がありません。").arg(row).arg(column));
}

} // namespace

QtGrid::QtGrid(const QStringList& headers, QWidget* parent)
    : QTableView(parent)
    , m_model(new GridModel(headers, this))
{
    setModel(m_model);
    setItemDelegate(new FixedColumnDelegate(this));

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWordWrap(false);
    setShowGrid(true);
    setSortingEnabled(false);
    setCornerButtonEnabled(false);
    // Tab leaves the grid for the next control, as in a list box.
    setTabKeyNavigation(false);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    fitRowHeightToFont();

    const auto invalidate = [this] { m_selectedValid = false; };
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, invalidate);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, invalidate);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, invalidate);
    connect(m_model, &QAbstractItemModel::modelReset, this, invalidate);
}

QtGrid::~QtGrid() = default;

int QtGrid::rowCount() const
{
    return m_model->rowCount() + 1;
}

void QtGrid::setRowCount(int count)
{
    if (count < 1)
        throw PlatformError(QStringLiteral("一覧表の行数 %1 は設定できません。").arg(count));
    m_model->resize(count - 1);
}

int QtGrid::columnCount() const
{
    return m_model->columnCount();
}

QString QtGrid::cellText(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        outside(row, column);
    return row == 0 ? m_model->header(column) : m_model->cell(row - 1, column);
}

void QtGrid::appendRows(const std::vector<GridLine>& rows)
{
    m_model->append(rows);
}

void QtGrid::takeRows(std::vector<GridLine>&& rows)
{
    m_model->append(std::move(rows));
    rows.clear();
}

QString QtGrid::rowKey(int row) const
{
    if (row < 1 || row >= rowCount())
        outside(row, 0);
    return m_model->key(row - 1);
}

QItemSelectionModel::SelectionFlags QtGrid::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    // Keys that move the focus move the selection with it, Ctrl+Home/End and
    // Ctrl+arrows too, so the chosen line is always the one the agent sees
    // highlighted; Shift extends it as usual and Ctrl+Space toggles a line.
    if (event && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            if (!(key->modifiers() & Qt::ShiftModifier))
                return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
            break;
        default:
            break;
        }
    }
    return QTableView::selectionCommand(index, event);
}

int QtGrid::selectedRowCount() const
{
    return int(selectedRowNumbers().size());
}

int QtGrid::selectedRow(int position) const
{
    const std::vector<int>& rows = selectedRowNumbers();
    if (position < 0 || position >= int(rows.size()))
        throw PlatformError(QStringLiteral("一覧表の選択に %1 番目の行はありません。").arg(position + 1));
    return rows[std::size_t(position)];
}

const std::vector<int>& QtGrid::selectedRowNumbers() const
{
    if (m_selectedValid)
        return m_selected;
    m_selected.clear();
    // Whole rows are selected, so each range spans every column; ranges made
    // by Ctrl+click may touch or overlap, hence the sort and the unique.
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            m_selected.push_back(r + 1); // model row 0 is grid row 1
    }
    std::sort(m_selected.begin(), m_selected.end());
    m_selected.erase(std::unique(m_selected.begin(), m_selected.end()), m_selected.end());
    m_selectedValid = true;
    return m_selected;
}

void QtGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitRowHeightToFont();
}

void QtGrid::fitRowHeightToFont()
{
    // The header is drawn in the cell font too; it does not follow the view's
    // font by itself, since platform themes give headers a font of their own.
    horizontalHeader()->setFont(font());
    // One line of the cell font with a little room above and below (pixels).
    const int height = fontMetrics().height() + 6;
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->setFixedHeight(height);
}
