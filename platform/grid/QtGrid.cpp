#include "platform/grid/QtGrid.h"

#include "platform/PlatformError.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QSet>
#include <QStyledItemDelegate>

#include <algorithm>
#include <type_traits>
#include <utility>

namespace {

// The column that the find text narrows and the header's clicks sort.
constexpr int kFoundColumn = 1;

bool isHalfWidthKana(char16_t u)
{
    return u >= 0xFF61 && u <= 0xFF9F;
}

// What the find compares: full-width Latin letters, digits and signs and
// the ideographic space as their ASCII forms, half-width katakana as
// full-width ones (by NFKC, which also joins a sound mark to its kana),
// katakana as hiragana, Latin letters in lower case.
QString foldForFind(const QString& text)
{
    QString folded;
    folded.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (isHalfWidthKana(text.at(i).unicode())) {
            qsizetype j = i;
            while (j < n && isHalfWidthKana(text.at(j).unicode()))
                ++j;
            folded += text.mid(i, j - i).normalized(QString::NormalizationForm_KC);
            i = j;
            continue;
        }
        char16_t u = text.at(i).unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            u = char16_t(u - 0xFEE0);
        else if (u == 0x3000)
            u = u' ';
        folded += QChar(u);
        ++i;
    }
    for (QChar& c : folded) {
        const char16_t u = c.unicode();
        if ((u >= 0x30A1 && u <= 0x30F6) || u == 0x30FD || u == 0x30FE)
            c = QChar(char16_t(u - 0x60)); // katakana -> hiragana
        else if (u >= u'A' && u <= u'Z')
            c = QChar(char16_t(u + 32));
    }
    return folded;
}

} // namespace

// The lines, row-major in one vector in the order they were appended, the
// header texts apart; and the view of them that is shown: the lines the find
// text keeps, in the chosen order.
class GridModel : public QAbstractTableModel
{
public:
    explicit GridModel(const QStringList& headers, QObject* parent)
        : QAbstractTableModel(parent)
        , m_headers(headers)
        , m_width(int(headers.size()))
        , m_collator(QLocale(QLocale::Japanese, QLocale::Japan))
    {
        m_collator.setNumericMode(true); // 2丁目 before 10丁目
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : shownCount();
    }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_width; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return QVariant();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: // a long location cut off at the column's edge can still be read whole
            return shownCell(index.row(), index.column());
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
            return header(section);
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

    // --- The lines as shown ---------------------------------------------------

    int shownCount() const { return viewing() ? int(m_shown.size()) : m_rows; }

    // The line shown at `row`, as its index among the lines.
    int line(int row) const { return viewing() ? m_shown[std::size_t(row)] : row; }

    // Column 0 numbers the lines as shown.
    QString shownCell(int row, int column) const
    {
        if (column == 0 && viewing())
            return QString::number(row + 1);
        return cell(line(row), column);
    }

    QString header(int column) const
    {
        if (column == kFoundColumn && !m_findText.isEmpty())
            return m_headers.at(column) + QStringLiteral("（絞り込み：%1）").arg(m_findText);
        return m_headers.at(column);
    }

    const QString& key(int row) const { return m_keys[std::size_t(line(row))]; }

    // For each line, the row at which it is shown, or -1.
    std::vector<int> rowsOfLines() const
    {
        std::vector<int> rows(std::size_t(m_rows), -1);
        for (int r = 0; r < shownCount(); ++r)
            rows[std::size_t(line(r))] = r;
        return rows;
    }

    // --- The lines beneath ------------------------------------------------------

    void resize(int rows)
    {
        if (viewing()) {
            beginResetModel();
            resizeLines(rows);
            makeView();
            endResetModel();
        } else if (rows == 0 && m_rows > 0) {
            // Emptied at once: a selection of many lines is dropped in one
            // step rather than range by range.
            beginResetModel();
            resizeLines(0);
            endResetModel();
        } else if (rows < m_rows) {
            beginRemoveRows(QModelIndex(), rows, m_rows - 1);
            resizeLines(rows);
            endRemoveRows();
        } else if (rows > m_rows) {
            beginInsertRows(QModelIndex(), m_rows, rows - 1);
            resizeLines(rows);
            endInsertRows();
        }
    }

    // Appends `rows`, sharing their texts, or taking them over when `rows`
    // is an rvalue.
    template <typename Rows> void append(Rows&& rows)
    {
        if (rows.empty())
            return;
        if (viewing()) {
            beginResetModel();
            appendLines(std::forward<Rows>(rows));
            makeView();
            endResetModel();
        } else {
            beginInsertRows(QModelIndex(), m_rows, m_rows + int(rows.size()) - 1);
            appendLines(std::forward<Rows>(rows));
            endInsertRows();
        }
    }

    // --- The view ---------------------------------------------------------------

    const QString& findText() const { return m_findText; }
    QtGrid::Order order() const { return m_order; }

    void setView(const QString& findText, QtGrid::Order order)
    {
        beginResetModel();
        m_findText = findText;
        m_found = foldForFind(findText);
        m_order = order;
        makeView();
        endResetModel();
        headerDataChanged(Qt::Horizontal, kFoundColumn, kFoundColumn);
    }

private:
    bool viewing() const { return !m_findText.isEmpty() || m_order != QtGrid::Order::Appended; }

    const QString& cell(int lineIndex, int column) const { return m_cells[std::size_t(lineIndex) * m_width + column]; }

    void resizeLines(int rows)
    {
        m_cells.resize(std::size_t(rows) * m_width);
        m_keys.resize(std::size_t(rows));
        if (m_folded.size() > std::size_t(rows))
            m_folded.resize(std::size_t(rows));
        if (m_sortKeys.size() > std::size_t(rows))
            m_sortKeys.erase(m_sortKeys.begin() + rows, m_sortKeys.end());
        m_rows = rows;
    }

    template <typename Rows> void appendLines(Rows&& rows)
    {
        constexpr bool kTake = std::is_rvalue_reference_v<Rows&&>;
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
        m_rows += int(rows.size());
    }

    // The lines the find text keeps, in the chosen order. What the find
    // compares and the collation keys are worked out once per line, when
    // first needed.
    void makeView()
    {
        m_shown.clear();
        if (!viewing() || m_width <= kFoundColumn)
            return;
        if (m_found.isEmpty()) {
            m_shown.resize(std::size_t(m_rows));
            for (int i = 0; i < m_rows; ++i)
                m_shown[std::size_t(i)] = i;
        } else {
            m_folded.reserve(std::size_t(m_rows));
            for (int i = int(m_folded.size()); i < m_rows; ++i)
                m_folded.push_back(foldForFind(cell(i, kFoundColumn)));
            for (int i = 0; i < m_rows; ++i) {
                if (m_folded[std::size_t(i)].contains(m_found))
                    m_shown.push_back(i);
            }
        }
        if (m_order == QtGrid::Order::Appended)
            return;
        m_sortKeys.reserve(std::size_t(m_rows));
        for (int i = int(m_sortKeys.size()); i < m_rows; ++i)
            m_sortKeys.push_back(m_collator.sortKey(cell(i, kFoundColumn)));
        // Equal locations keep the order they were appended in, either way.
        const bool ascending = m_order == QtGrid::Order::Ascending;
        std::stable_sort(m_shown.begin(), m_shown.end(), [&](int a, int b) {
            const int c = m_sortKeys[std::size_t(a)].compare(m_sortKeys[std::size_t(b)]);
            return ascending ? c < 0 : c > 0;
        });
    }

    QStringList m_headers;
    int m_width;
    int m_rows = 0;
    std::vector<QString> m_cells;
    std::vector<QString> m_keys; // one per line

    QString m_findText; // as the agent typed it
    QString m_found; // as it is compared
    QtGrid::Order m_order = QtGrid::Order::Appended;
    std::vector<int> m_shown; // the lines shown, while a find text or an order is set

    QCollator m_collator;
    std::vector<QString> m_folded; // per line, as far as worked out
    std::vector<QCollatorSortKey> m_sortKeys; // per line, as far as worked out
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
            QStyleOptionViewItem plain = option;
            plain.state &= ~QStyle::State_HasFocus;
            QStyledItemDelegate::paint(painter, plain, index);
            // The focused line is framed with a dotted line, as in a list
            // box, whichever of its cells holds the focus and whether or not
            // the style draws focus frames: after Ctrl+Up/Down it is not
            // the selected line.
            const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
            if (view && view->hasFocus() && view->currentIndex().row() == index.row()) {
                painter->save();
                const bool selected = option.state & QStyle::State_Selected;
                QPen pen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text), 1, Qt::DotLine);
                painter->setPen(pen);
                painter->setBrush(Qt::NoBrush);
                painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
                painter->restore();
            }
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
    setSortingEnabled(false); // the model sorts, on the header's clicks
    setCornerButtonEnabled(false);
    // Tab leaves the grid for the next control, as in a list box.
    setTabKeyNavigation(false);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSortIndicatorShown(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &QtGrid::headerClicked);
    fitRowHeightToFont();

    const auto invalidate = [this] { m_selectedValid = false; };
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, invalidate);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, invalidate);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, invalidate);
    connect(m_model, &QAbstractItemModel::modelReset, this, invalidate);
    // The frame of the focused line moves with the focus.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, viewport(), [this] { viewport()->update(); });
}

QtGrid::~QtGrid() = default;

int QtGrid::rowCount() const
{
    return m_model->shownCount() + 1;
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
    return row == 0 ? m_model->header(column) : m_model->shownCell(row - 1, column);
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

void QtGrid::setFindText(const QString& text)
{
    keepingSelection([&] { m_model->setView(text, m_model->order()); });
}

QString QtGrid::findText() const
{
    return m_model->findText();
}

void QtGrid::setOrder(Order order)
{
    keepingSelection([&] { m_model->setView(m_model->findText(), order); });
    horizontalHeader()->setSortIndicatorShown(order != Order::Appended);
    if (order != Order::Appended)
        horizontalHeader()->setSortIndicator(
            kFoundColumn, order == Order::Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QtGrid::Order QtGrid::order() const
{
    return m_model->order();
}

void QtGrid::headerClicked(int section)
{
    if (section == kFoundColumn)
        setOrder(order() == Order::Ascending ? Order::Descending : Order::Ascending);
    else
        setOrder(Order::Appended);
}

void QtGrid::keepingSelection(const std::function<void()>& change)
{
    std::vector<int> lines;
    for (int row : selectedRowNumbers())
        lines.push_back(m_model->line(row - 1));
    const int focus = currentIndex().isValid() ? m_model->line(currentIndex().row()) : -1;
    change();
    selectLines(lines, focus);
}

void QtGrid::selectLines(const std::vector<int>& lines, int focus)
{
    const std::vector<int> rowOf = m_model->rowsOfLines();
    std::vector<int> rows;
    for (int line : lines) {
        if (line >= 0 && line < int(rowOf.size()) && rowOf[std::size_t(line)] >= 0)
            rows.push_back(rowOf[std::size_t(line)]);
    }
    std::sort(rows.begin(), rows.end());
    // Runs of neighbouring rows as one range each: a selection of every line
    // is one range, not a hundred thousand.
    QItemSelection selection;
    const int last = m_model->columnCount() - 1;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        selection.select(m_model->index(rows[i], 0), m_model->index(rows[j], last));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    // With lines still chosen, the focus stays on its line (or goes to the
    // first chosen) and in view; with none, the list shows from its top.
    int focusRow = focus >= 0 && focus < int(rowOf.size()) ? rowOf[std::size_t(focus)] : -1;
    if (rows.empty())
        focusRow = m_model->shownCount() > 0 ? 0 : -1;
    else if (focusRow < 0)
        focusRow = rows.front();
    if (focusRow >= 0) {
        selectionModel()->setCurrentIndex(m_model->index(focusRow, kFoundColumn), QItemSelectionModel::NoUpdate);
        scrollTo(currentIndex());
    }
}

void QtGrid::selectRowKeys(const QStringList& keys)
{
    const QSet<QString> wanted(keys.cbegin(), keys.cend());
    std::vector<int> lines;
    for (int row = 0; row < m_model->shownCount(); ++row) {
        if (wanted.contains(m_model->key(row)))
            lines.push_back(m_model->line(row));
    }
    selectLines(lines, lines.empty() ? -1 : lines.front());
}

QItemSelectionModel::SelectionFlags QtGrid::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    // The keys that move the focus move the selection with it, Ctrl+Home/End
    // and Ctrl+Page Up/Down too, so that the chosen line is the one the agent
    // sees highlighted. Ctrl+arrows move the focus alone (Qt's own answer),
    // so that Ctrl+Space can then add the focused line; Shift extends.
    if (event && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const bool shift = key->modifiers() & Qt::ShiftModifier;
        const bool control = key->modifiers() & Qt::ControlModifier;
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            if (!shift && !control)
                return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
            break;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            if (!shift)
                return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
            break;
        default:
            break;
        }
    }
    return QTableView::selectionCommand(index, event);
}

QModelIndex QtGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // As in a list box, Home and End go to the first and the last line, not
    // to the first and last cell of the line.
    if (action == MoveHome || action == MoveEnd)
        modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(action, modifiers);
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
