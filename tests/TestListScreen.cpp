// The list screen on its real grid: layout, selection, the show button's hand
// over to the entry screen, and the way back to the menu.
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeEventPump.h"
#include "tests/fakes/FakeFileOpenDialog.h"
#include "tests/fakes/RecordingInputMethod.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/RecordingPrinter.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TestDatabase.h"

#include "platform/Fonts.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/grid/QtGrid.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "screens/F_Itiran.h"
#include "screens/F_Sakuzyo.h"
#include "screens/F_Tyukai.h"
#include "screens/FindBox.h"
#include "screens/Twips.h"
#include "store/PropertyStore.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

PropertyRecord withLocation(const QString& location, const QString& tag)
{
    PropertyRecord r = TestDatabase::distinctRecord(tag);
    r[kSyozaiIndex] = location;
    return r;
}

template <typename T> int liveCount(const QString& objectName)
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        count += (qobject_cast<T*>(w) && w->objectName() == objectName) ? 1 : 0;
    return count;
}

// Replaces the text of box `index` as the input method does when the agent
// confirms what was typed.
void typeInto(F_Tyukai* entry, int index, const QString& text)
{
    auto* box = entry->findChild<QLineEdit*>(QStringLiteral("Tbox_%1").arg(index));
    box->setFocus();
    box->selectAll();
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(box, &commit);
}

QList<int> selectedLines(const QtGrid& grid)
{
    QList<int> lines;
    for (int i = 0; i < grid.selectedRowCount(); ++i)
        lines << grid.selectedRow(i);
    return lines;
}

QStringList gridColumn(const QtGrid& grid, int column)
{
    QStringList texts;
    for (int r = 1; r < grid.rowCount(); ++r)
        texts << grid.cellText(r, column);
    return texts;
}

QStringList storedLocations(const TestDatabase& db)
{
    QStringList locations;
    for (const auto& row : db.rows())
        locations << row[kSyozaiIndex].value_or(QStringLiteral("<NULL>"));
    return locations;
}

void ctrlClickLine(QtGrid& grid, int row)
{
    const QRect cell = grid.visualRect(grid.model()->index(row - 1, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
}

} // namespace

class TestListScreen : public QObject
{
    Q_OBJECT

private:
    struct Fixture : ScreenFixture
    {
        explicit Fixture(const QString& folder)
            : ScreenFixture(folder)
        {
            openOrDie();
        }
    };

private slots:
    void initTestCase() { registerFontSubstitutions(); }

    void layoutFollowsTheTwipTable()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Itiran screen(f.services());
        QCOMPARE(screen.windowTitle(), QStringLiteral("Quintaveli"));
        QCOMPARE(screen.size(), QSize(twipsToPixels(15240), twipsToPixels(11010)));

        QtGrid& grid = screen.grid();
        QCOMPARE(grid.objectName(), QStringLiteral("VSF"));
        QCOMPARE(grid.geometry(), twipsRect(375, 1380, 11355, 6495));
        QCOMPARE(grid.font().family(), QStringLiteral("ＭＳ ゴシック"));
        QCOMPARE(grid.font().pointSizeF(), 24.0);
        QCOMPARE(grid.horizontalHeader()->font(), grid.font()); // the header row too
        QCOMPARE(grid.columnWidth(0), twipsToPixels(810));
        QCOMPARE(grid.columnWidth(1), twipsToPixels(10005));
        QCOMPARE(grid.rowCount(), 1);
        QCOMPARE(grid.cellText(0, 0), QStringLiteral("No."));
        QCOMPARE(grid.cellText(0, 1), QStringLiteral("物件所在地"));

        auto* title = screen.findChild<QLabel*>(QStringLiteral("Label1"));
        QVERIFY(title);
        QCOMPARE(title->text(), QStringLiteral("不動産売買物件一覧表"));
        QCOMPARE(title->geometry().marginsRemoved(title->contentsMargins()), twipsRect(390, 360, 4590, 525));
        QCOMPARE(title->font().family(), QStringLiteral("HGP創英角ﾎﾟｯﾌﾟ体"));
        QCOMPARE(title->font().pointSizeF(), 21.75);
        QCOMPARE(title->focusPolicy(), Qt::NoFocus);

        const struct
        {
            const char* name;
            QString text;
            QRect twips;
            QColor face;
            QRect frame;
        } buttons[] = {
            { "Command1", QStringLiteral("戻る"), { 12000, 9120, 2415, 915 }, { 255, 128, 128 },
                { 11760, 8880, 2895, 1335 } },
            { "Command2", QStringLiteral("削除"), { 8280, 9060, 2415, 1005 }, { 128, 255, 128 },
                { 8040, 8880, 2895, 1335 } },
            { "Command3", QStringLiteral("表示"), { 4560, 9060, 2415, 1005 }, { 255, 255, 0 },
                { 4320, 8880, 2895, 1335 } },
        };
        for (const auto& b : buttons) {
            auto* button = screen.findChild<QPushButton*>(QLatin1String(b.name));
            QVERIFY(button);
            QCOMPARE(button->text(), b.text);
            const QRect& t = b.twips;
            QCOMPARE(button->geometry(), twipsRect(t.x(), t.y(), t.width(), t.height()));
            QCOMPARE(button->font().family(), QStringLiteral("HGP創英角ﾎﾟｯﾌﾟ体"));
            QCOMPARE(button->font().pointSizeF(), 21.75);
            QCOMPARE(button->palette().color(QPalette::Button), b.face);
            // Its frame surrounds it.
            const QRect& fr = b.frame;
            bool framed = false;
            for (QFrame* shape : screen.findChildren<QFrame*>(QRegularExpression(QStringLiteral("^Shape_"))))
                framed |= shape->geometry() == twipsRect(fr.x(), fr.y(), fr.width(), fr.height());
            QVERIFY2(framed, b.name);
        }

        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QCOMPARE(QApplication::focusWidget(), &grid);
        // Tab leaves the grid and walks 戻る, 削除, 表示.
        for (const auto& b : buttons) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(b.name));
        }
    }

    void gridModelKeepsItsContract()
    {
        QtGrid grid({ QStringLiteral("No."), QStringLiteral("物件所在地") });
        QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.appendRows({ { QStringLiteral("1"), QStringLiteral("a"), QStringLiteral("k1") },
            { QStringLiteral("2"), QStringLiteral("b"), QStringLiteral("k2") } });
        grid.setRowCount(5);
        QCOMPARE(grid.cellText(4, 1), QString());
        grid.setRowCount(2);
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(grid.cellText(1, 1), QStringLiteral("a"));
        QCOMPARE(grid.rowKey(1), QStringLiteral("k1"));
        QCOMPARE(grid.cellText(0, 1), QStringLiteral("物件所在地"));
        QVERIFY(!(grid.model()->flags(grid.model()->index(0, 1)) & Qt::ItemIsEditable));
        grid.appendRows({});
        grid.setRowCount(1);
        QCOMPARE(grid.rowCount(), 1);
        QVERIFY_THROWS_EXCEPTION(PlatformError, grid.cellText(1, 0));
        QVERIFY_THROWS_EXCEPTION(PlatformError, grid.setRowCount(0));
    }

    void selectionIsReadTopDown()
    {
        QtGrid grid({ QStringLiteral("No."), QStringLiteral("物件所在地") });
        grid.resize(600, 800);
        std::vector<GridLine> rows;
        for (int r = 1; r <= 6; ++r)
            rows.push_back({ QString::number(r), QStringLiteral("k%1").arg(r), QString() });
        grid.appendRows(rows);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(grid.selectedRowCount(), 0);

        // Picked bottom-up with Ctrl, one on the fixed column: read top-down.
        ctrlClickLine(grid, 5);
        ctrlClickLine(grid, 2);
        QTest::mouseClick(
            grid.viewport(), Qt::LeftButton, Qt::ControlModifier, grid.visualRect(grid.model()->index(3, 0)).center());
        QCOMPARE(grid.selectedRowCount(), 3);
        QCOMPARE(grid.selectedRow(0), 2);
        QCOMPARE(grid.selectedRow(1), 4);
        QCOMPARE(grid.selectedRow(2), 5);
        ctrlClickLine(grid, 4); // Ctrl+click again takes a line out
        QCOMPARE(grid.selectedRowCount(), 2);
        QCOMPARE(grid.selectedRow(1), 5);

        // A cut list drops the lines past its end from the selection.
        grid.setRowCount(4);
        QCOMPARE(grid.selectedRowCount(), 1);
        QCOMPARE(grid.selectedRow(0), 2);
        QVERIFY_THROWS_EXCEPTION(PlatformError, grid.selectedRow(1));
    }

    // Keys that move the focus carry the selection along: the line that
    // 削除 acts on is always the highlighted one. Ctrl+Up/Down move the
    // focus alone, Ctrl+Space then adds or removes the focused line.
    void keyboardMovesTheSelectionWithTheFocus()
    {
        QtGrid grid({ QStringLiteral("No."), QStringLiteral("物件所在地") });
        grid.resize(600, 300);
        std::vector<GridLine> rows;
        for (int r = 1; r <= 40; ++r)
            rows.push_back({ QString::number(r), QStringLiteral("k%1").arg(r), QString() });
        grid.appendRows(rows);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        ctrlClickLine(grid, 1);
        const auto current = [&] { return grid.currentIndex().row() + 1; };
        const struct
        {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
        } moves[] = { { Qt::Key_Down, Qt::NoModifier }, { Qt::Key_End, Qt::ControlModifier },
            { Qt::Key_PageUp, Qt::NoModifier }, { Qt::Key_Home, Qt::ControlModifier },
            { Qt::Key_PageDown, Qt::NoModifier }, { Qt::Key_End, Qt::NoModifier }, { Qt::Key_Up, Qt::NoModifier },
            { Qt::Key_Home, Qt::NoModifier } };
        for (const auto& move : moves) {
            const int before = current();
            QTest::keyClick(&grid, move.key, move.modifiers);
            QVERIFY2(current() != before, qPrintable(QKeySequence(move.key | move.modifiers).toString()));
            QCOMPARE(selectedLines(grid), QList<int> { current() });
        }
        // Shift still extends the selection.
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(selectedLines(grid), (QList<int> { 1, 2 }));
        // Ctrl+Down moves the focus alone; Ctrl+Space adds the focused line,
        // a second Ctrl+Space takes it out again.
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(current(), 4);
        QCOMPARE(selectedLines(grid), (QList<int> { 1, 2 }));
        QTest::keyClick(&grid, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(selectedLines(grid), (QList<int> { 1, 2, 4 }));
        QTest::keyClick(&grid, Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(selectedLines(grid), (QList<int> { 1, 4 }));
    }

    // Lines 1 and 3 chosen by keyboard alone, then 削除 by keyboard too.
    void linesOneAndThreeAreChosenAndDeletedByKeyboardAlone()
    {
        TestDatabase db;
        for (const char* l : { "a", "b", "c", "d" })
            db.insert(withLocation(QString::fromLatin1(l), QStringLiteral("x")));
        Fixture f(db.folder());
        F_Itiran screen(f.services());
        screen.Form_Load();
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QtGrid& grid = screen.grid();
        QCOMPARE(QApplication::focusWidget(), &grid);
        // The focus starts on line 1, framed but not selected.
        QTest::keyClick(&grid, Qt::Key_Space, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(selectedLines(grid), (QList<int> { 1, 3 }));
        // Tab to 戻る, 削除; Space presses it.
        QTest::keyClick(&grid, Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command2"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(storedLocations(db), (QStringList { QStringLiteral("b"), QStringLiteral("d") }));
    }

    // Ctrl+F, 船橋 typed through the input method, Enter: among 10,000
    // properties only the Funabashi ones are shown, numbered from 1; 表示
    // and 削除 act on the lines shown; Escape shows every line again.
    void findNarrowsTheListAndTheButtonsActOnTheLinesShown()
    {
        TestDatabase db;
        db.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
            "INSERT INTO Fudousan (Syozai, Kakaku) SELECT CASE WHEN i % 1000 = 7 THEN '千葉県船橋市本町' || i "
            "ELSE '千葉県市川市八幡' || i END, 'price ' || i FROM n ORDER BY i"));
        Fixture f(db.folder());
        F_Itiran screen(f.services());
        screen.Form_Load();
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QtGrid& grid = screen.grid();
        QCOMPARE(grid.rowCount(), 10001);

        FindBox* seen = nullptr;
        bool inputMethodOn = false;
        whenModal<FindBox>([&](FindBox* box) {
            seen = box;
            QCOMPARE(box->windowTitle(), QStringLiteral("絞り込み"));
            inputMethodOn = f.inputMethod.fields.contains(&box->line());
            QInputMethodEvent commit;
            commit.setCommitString(QStringLiteral("船橋"));
            QApplication::sendEvent(&box->line(), &commit);
            QTest::keyClick(&box->line(), Qt::Key_Return);
        });
        QTest::keyClick(&grid, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(seen);
        QVERIFY(inputMethodOn);
        QCOMPARE(grid.cellText(0, 1), QStringLiteral("物件所在地（絞り込み：船橋）"));
        QStringList funabashi;
        for (int i = 7; i <= 10000; i += 1000)
            funabashi << QStringLiteral("千葉県船橋市本町%1").arg(i);
        QCOMPARE(gridColumn(grid, 1), funabashi);
        QCOMPARE(gridColumn(grid, 0).join(QLatin1Char(',')), QStringLiteral("1,2,3,4,5,6,7,8,9,10"));

        // 削除 of lines 2 and 10 as shown.
        ctrlClickLine(grid, 2);
        ctrlClickLine(grid, 10);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(db.rowCount(), 9998);
        QCOMPARE(db.values(QStringLiteral("SELECT Syozai FROM \"Fudousan_Sakuzyo\" ORDER BY rowid")),
            (QStringList { funabashi.at(1), funabashi.at(9) }));
        funabashi.removeAt(9);
        funabashi.removeAt(1);
        QCOMPARE(gridColumn(grid, 1), funabashi); // the refill keeps the find text

        // 表示 of line 3 as shown.
        ctrlClickLine(grid, 3);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        const std::unique_ptr<F_Tyukai> entry = screen.takeEntryScreen();
        QVERIFY(entry);
        QCOMPARE(entry->boxText(kSyozaiIndex), funabashi.at(2));
        QCOMPARE(entry->boxText(kKakakuIndex), QStringLiteral("price 3007"));

        // Escape: every line again, under the plain header.
        whenModal<FindBox>([](FindBox* box) { QTest::keyClick(&box->line(), Qt::Key_Escape); });
        screen.Find_Click();
        QCOMPARE(grid.rowCount(), 9999);
        QCOMPARE(grid.cellText(0, 1), QStringLiteral("物件所在地"));
        QCOMPARE(grid.cellText(9998, 0), QStringLiteral("9998"));
    }

    // What the find ignores: full and half width, hiragana and katakana,
    // letter case; and what it does not: other characters.
    void findIgnoresWidthAndKanaKind_data()
    {
        QTest::addColumn<QString>("find");
        QTest::addColumn<QList<int>>("shown");
        QTest::newRow("hiragana finds katakana of both widths") << QStringLiteral("ふなばし") << QList<int> { 1, 2, 3 };
        QTest::newRow("half-width katakana finds the rest") << QStringLiteral("ﾌﾅﾊﾞｼ") << QList<int> { 1, 2, 3 };
        QTest::newRow("a voiced kana is not its plain one") << QStringLiteral("ふなはし") << QList<int> {};
        QTest::newRow("full-width Latin and digits") << QStringLiteral("ＡＢＣ－１") << QList<int> { 4, 5 };
        QTest::newRow("letter case") << QStringLiteral("abc") << QList<int> { 4, 5 };
        QTest::newRow("ideographic space") << QStringLiteral("本町　２") << QList<int> { 6 };
        QTest::newRow("kanji") << QStringLiteral("船橋") << QList<int> { 7 };
    }

    void findIgnoresWidthAndKanaKind()
    {
        QFETCH(QString, find);
        QFETCH(QList<int>, shown);
        QtGrid grid({ QStringLiteral("No."), QStringLiteral("物件所在地") });
        const QStringList locations { QStringLiteral("フナバシ 1"), QStringLiteral("ﾌﾅﾊﾞｼ 2"),
            QStringLiteral("ふなばし 3"), QStringLiteral("ABC-1 ビル"), QStringLiteral("ａｂｃ－１ 館"),
            QStringLiteral("本町 2丁目"), QStringLiteral("千葉県船橋市") };
        std::vector<GridLine> lines;
        for (int i = 0; i < locations.size(); ++i)
            lines.push_back({ QString::number(i + 1), locations.at(i), QString::number(i + 1) });
        grid.appendRows(lines);
        grid.setFindText(find);
        QList<int> keys;
        for (int r = 1; r < grid.rowCount(); ++r)
            keys << grid.rowKey(r).toInt();
        QCOMPARE(keys, shown);
    }

    // The header sorts: 物件所在地 in Japanese collation (kana of either
    // kind by their reading, numbers by value), again reversed, No. back to
    // registration order; the buttons act on the lines as shown.
    void theHeaderSortsAndTheButtonsActOnTheLinesShown()
    {
        TestDatabase db;
        const QStringList registered { QStringLiteral("さくら町10丁目"), QStringLiteral("カキ町"),
            QStringLiteral("あおば町"), QStringLiteral("さくら町2丁目"), QStringLiteral("かえで町") };
        for (const QString& l : registered)
            db.insert(withLocation(l, l));
        Fixture f(db.folder());
        F_Itiran screen(f.services());
        screen.Form_Load();
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QtGrid& grid = screen.grid();
        const QStringList sorted { QStringLiteral("あおば町"), QStringLiteral("かえで町"), QStringLiteral("カキ町"),
            QStringLiteral("さくら町2丁目"), QStringLiteral("さくら町10丁目") };
        QStringList reversed = sorted;
        std::reverse(reversed.begin(), reversed.end());
        const auto clickHeader = [&](int column) {
            QHeaderView* header = grid.horizontalHeader();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                QPoint(
                    header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
        };
        ctrlClickLine(grid, 2); // カキ町, which stays selected through the sorts
        clickHeader(1);
        QCOMPARE(gridColumn(grid, 1), sorted);
        QCOMPARE(gridColumn(grid, 0).join(QLatin1Char(',')), QStringLiteral("1,2,3,4,5"));
        QCOMPARE(selectedLines(grid), QList<int> { 3 });
        clickHeader(1);
        QCOMPARE(gridColumn(grid, 1), reversed);
        QCOMPARE(selectedLines(grid), QList<int> { 3 });

        // 削除 of lines 1 and 3 as shown: さくら町10丁目 and カキ町.
        ctrlClickLine(grid, 1);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(storedLocations(db),
            (QStringList { QStringLiteral("あおば町"), QStringLiteral("さくら町2丁目"), QStringLiteral("かえで町") }));
        QCOMPARE(gridColumn(grid, 1),
            (QStringList { QStringLiteral("さくら町2丁目"), QStringLiteral("かえで町"), QStringLiteral("あおば町") }));

        // 表示 of line 2 as shown: かえで町's own row.
        ctrlClickLine(grid, 2);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        const std::unique_ptr<F_Tyukai> entry = screen.takeEntryScreen();
        QVERIFY(entry);
        QCOMPARE(entry->boxText(kKakakuIndex), withLocation(QStringLiteral("かえで町"), QStringLiteral("かえで町"))[0]);

        clickHeader(0);
        QCOMPARE(gridColumn(grid, 1), storedLocations(db));
    }

    // The grid's menu, from the mouse or the Menu key: one entry per
    // action; 削除した物件… opens the window of deleted properties with the
    // last deletion chosen, and Enter brings it back at the end of the list.
    void theMenuBringsTheLastDeletionBackWithEnter()
    {
        TestDatabase db;
        for (const char* l : { "a", "b", "c", "d" })
            db.insert(withLocation(QString::fromLatin1(l), QString::fromLatin1(l)));
        const auto before = db.rows();
        FakeClock clock(QDateTime(QDate(2026, 4, 1), QTime(9, 0)));
        Fixture f(db.folder());
        f.store.useClock(clock);
        F_Itiran screen(f.services());
        screen.Form_Load();
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QtGrid& grid = screen.grid();
        ctrlClickLine(grid, 1);
        screen.Command2_Click(); // a
        clock.advanceMs(60000);
        ctrlClickLine(grid, 1);
        ctrlClickLine(grid, 3);
        screen.Command2_Click(); // b and d, the last deletion
        QCOMPARE(gridColumn(grid, 1), QStringList { QStringLiteral("c") });

        // The Menu key opens it below the focused line, a right click at the mouse.
        QMenu& menu = screen.listMenu();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), grid.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&grid, &menuKey);
        QVERIFY(menu.isVisible());
        const QRect line = grid.visualRect(grid.currentIndex());
        QVERIFY2((menu.pos() - grid.viewport()->mapToGlobal(line.bottomLeft())).manhattanLength() <= 2,
            qPrintable(QStringLiteral("%1,%2").arg(menu.pos().x()).arg(menu.pos().y())));
        menu.hide();
        const QPoint at = grid.viewport()->mapToGlobal(QPoint(40, 20));
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(40, 20), at);
        QApplication::sendEvent(grid.viewport(), &rightClick);
        QVERIFY(menu.isVisible());
        QVERIFY((menu.pos() - at).manhattanLength() <= 2);
        QStringList entries;
        for (QAction* action : menu.actions())
            entries << action->text();
        QCOMPARE(entries,
            (QStringList { QStringLiteral("絞り込み…"), QStringLiteral("削除した物件…"),
                QStringLiteral("選んだ物件のチラシを印刷") }));
        menu.hide();

        QStringList shown;
        QList<int> chosen;
        whenModal<F_Sakuzyo>([&](F_Sakuzyo* window) {
            QCOMPARE(window->windowTitle(), QStringLiteral("削除した物件"));
            QTableWidget& table = window->table();
            for (int r = 0; r < table.rowCount(); ++r)
                shown << table.item(r, 0)->text() + QLatin1Char('|') + table.item(r, 1)->text();
            for (const QModelIndex& index : table.selectionModel()->selectedRows())
                chosen << index.row();
            QTest::keyClick(&table, Qt::Key_Return);
        });
        menu.actions().at(1)->trigger();
        QCOMPARE(shown,
            (QStringList { QStringLiteral("2026/04/01 09:01|d"), QStringLiteral("2026/04/01 09:01|b"),
                QStringLiteral("2026/04/01 09:00|a") }));
        std::sort(chosen.begin(), chosen.end());
        QCOMPARE(chosen, (QList<int> { 0, 1 }));
        QCOMPARE(gridColumn(grid, 1), (QStringList { QStringLiteral("c"), QStringLiteral("b"), QStringLiteral("d") }));
        QCOMPARE(selectedLines(grid), (QList<int> { 2, 3 }));
        const auto after = db.rows();
        QCOMPARE(after[1], before[1]);
        QCOMPARE(after[2], before[3]);
        QCOMPARE(db.deletedRows().size(), std::size_t(1));
    }

    void emptyTableShowsTheHeaderAloneAndShowAsksForALine()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Itiran screen(f.services());
        screen.Form_Load();
        QCOMPARE(screen.grid().rowCount(), 1);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text, QStringLiteral("データを選択して下さい。"));
        QCOMPARE(f.messages.shown.first().style, 16);
        QCOMPARE(f.messages.shown.first().title, QStringLiteral("Zabrelo"));
        QVERIFY(!screen.takeEntryScreen());
    }

    void deleteButtonRemovesTheSelectedLines()
    {
        TestDatabase db;
        for (const char* l : { "a", "b", "c" })
            db.insert(withLocation(QString::fromLatin1(l), QStringLiteral("x")));
        Fixture f(db.folder());
        F_Itiran screen(f.services());
        screen.Form_Load();
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QtGrid& grid = screen.grid();
        ctrlClickLine(grid, 1);
        ctrlClickLine(grid, 3);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(db.rowCount(), 1);
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(grid.cellText(1, 0), QStringLiteral("1"));
        QCOMPARE(grid.cellText(1, 1), QStringLiteral("b"));
        QCOMPARE(f.messages.shown.size(), 1);
        QVERIFY(screen.isVisible());
    }

    // A failure inside a button's handler is one message; the list stays.
    void aRefusedDeleteIsReportedAndTheListStays()
    {
        TestDatabase db;
        for (const char* tag : { "a", "b" })
            db.insert(withLocation(QStringLiteral("kept"), QString::fromLatin1(tag)));
        db.refuseDeletion(QStringLiteral("kept"));
        Fixture f(db.folder());
        F_Itiran screen(f.services());
        screen.Form_Load();
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        ctrlClickLine(screen.grid(), 2);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().title, QStringLiteral("Zabrelo"));
        QCOMPARE(f.messages.shown.first().style, 16);
        QCOMPARE(db.rowCount(), 2);
        QCOMPARE(screen.grid().rowCount(), 3);
        QVERIFY(screen.isVisible());
    }

    // A line whose row can no longer be read opens an empty entry screen and
    // says nothing: the load reports nothing of its own.
    void showWithAnUnreadableRowOpensAnEmptyEntryScreen()
    {
        TestDatabase db;
        db.insert(withLocation(QStringLiteral("a"), QStringLiteral("x")));
        Fixture f(db.folder());
        F_Itiran screen(f.services());
        screen.Form_Load();
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        db.exec(QStringLiteral("ALTER TABLE Fudousan RENAME TO Elsewhere"));
        ctrlClickLine(screen.grid(), 1);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        QVERIFY(f.messages.shown.isEmpty());
        const std::unique_ptr<F_Tyukai> entry = screen.takeEntryScreen();
        QVERIFY(entry);
        for (int i = 0; i < kBoxCount; ++i)
            QCOMPARE(entry->boxText(i), QString());
    }

    void showLoadsTheLowestSelectedLineThenTheUserIsBackAtTheMenu()
    {
        TestDatabase db;
        const QString mapPath = QDir(db.folder()).filePath(QStringLiteral("地図.bmp"));
        QImage map(64, 48, QImage::Format_RGB32);
        map.fill(QColor(0, 128, 255));
        QVERIFY(map.save(mapPath));
        db.insert(withLocation(QStringLiteral("一"), QStringLiteral("1")));
        db.insert(withLocation(QStringLiteral("二"), QStringLiteral("2")));
        db.insert(withLocation(QStringLiteral("三"), QStringLiteral("3")));
        PropertyRecord fourth = withLocation(QStringLiteral("a' OR '1'='1"), QStringLiteral("4"));
        fourth[0] = QStringLiteral(" 1,980万円 ");
        fourth[7] = QString();
        fourth[27] = QStringLiteral("  ");
        fourth[kMadoriIndex] = mapPath;
        db.insert(fourth);
        Fixture f(db.folder());
        f.store.setMapImagePath(QStringLiteral("a map chosen earlier"));

        whenModal<F_Itiran>([](F_Itiran* list) {
            ctrlClickLine(list->grid(), 4);
            ctrlClickLine(list->grid(), 2);
            QTest::mouseClick(list->findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        });
        QStringList texts;
        QImage shown;
        int listsAlive = -1;
        bool entryVisible = false;
        whenModal<F_Tyukai>([&](F_Tyukai* entry) {
            listsAlive = liveCount<F_Itiran>(QStringLiteral("F_Itiran"));
            entryVisible = entry->isVisible();
            for (int i = 0; i < kBoxCount; ++i)
                texts << entry->findChild<QLineEdit*>(QStringLiteral("Tbox_%1").arg(i))->text();
            shown = entry->picture();
            entry->close();
        });

        F_Itiran::openFromMenu(f.services());

        QCOMPARE(listsAlive, 0);
        QVERIFY(entryVisible);
        for (int i = 0; i < kBoxCount; ++i)
            QCOMPARE(texts.value(i), fourth[i]);
        QCOMPARE(shown.convertToFormat(QImage::Format_RGB32), map);
        QCOMPARE(f.store.mapImagePath(), mapPath);
        QVERIFY(f.messages.shown.isEmpty());
        // Back at the menu: neither screen is left.
        QCOMPARE(liveCount<F_Itiran>(QStringLiteral("F_Itiran")), 0);
        QCOMPARE(liveCount<F_Tyukai>(QStringLiteral("F_Tyukai")), 0);
        QCOMPARE(db.rowCount(), 4);
    }

    void backAndTheCloseButtonLeaveNoScreen_data()
    {
        QTest::addColumn<bool>("useBack");
        QTest::newRow("戻る") << true;
        QTest::newRow("close button") << false;
    }

    void backAndTheCloseButtonLeaveNoScreen()
    {
        QFETCH(bool, useBack);
        TestDatabase db;
        Fixture f(db.folder());
        int rows = -1;
        whenModal<F_Itiran>([&](F_Itiran* list) {
            rows = list->grid().rowCount();
            if (useBack)
                QTest::mouseClick(list->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
            else
                list->close();
        });
        F_Itiran::openFromMenu(f.services());
        QCOMPARE(rows, 1);
        QCOMPARE(liveCount<F_Itiran>(QStringLiteral("F_Itiran")), 0);
        QCOMPARE(liveCount<F_Tyukai>(QStringLiteral("F_Tyukai")), 0);
        QVERIFY(f.messages.shown.isEmpty());
    }

    void registeringALoadedPropertyAddsARowWithItsOwnMap_data()
    {
        QTest::addColumn<QString>("madori");
        QTest::newRow("with a map") << QStringLiteral("/maps/its own.jpg");
        QTest::newRow("without a map") << QString();
    }

    // 表示, an edit, then the entry screen's own 登録 button.
    void registeringALoadedPropertyAddsARowWithItsOwnMap()
    {
        QFETCH(QString, madori);
        TestDatabase db;
        PropertyRecord stored = withLocation(QStringLiteral("O'Hara 1-2"), QStringLiteral("s"));
        stored[kMadoriIndex] = madori;
        db.insert(stored);
        Fixture f(db.folder());
        f.store.setMapImagePath(QStringLiteral("/maps/another property.bmp"));

        whenModal<F_Itiran>([](F_Itiran* list) {
            ctrlClickLine(list->grid(), 1);
            QTest::mouseClick(list->findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        });
        whenModal<F_Tyukai>([](F_Tyukai* entry) {
            typeInto(entry, 0, QStringLiteral("1,680万円"));
            QTest::mouseClick(entry->findChild<QPushButton*>(QStringLiteral("Command1_1")), Qt::LeftButton);
            QTest::mouseClick(entry->findChild<QPushButton*>(QStringLiteral("Command1_2")), Qt::LeftButton);
        });
        F_Itiran::openFromMenu(f.services());

        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text, QStringLiteral("登録を完了しました。"));
        const auto rows = db.rows();
        QCOMPARE(rows.size(), std::size_t(2));
        PropertyRecord expected = stored;
        expected[0] = QStringLiteral("1,680万円");
        for (int i = 0; i < kColumnCount; ++i) {
            QCOMPARE(rows[0][std::size_t(i)].value_or(QStringLiteral("<NULL>")), stored[i]);
            QCOMPARE(rows[1][std::size_t(i)].value_or(QStringLiteral("<NULL>")), expected[i]);
        }
    }

    // 表示, an edit that leaves the location alone, then 印刷: the flyer shows
    // the edit, the property is already stored, so nothing is written.
    void printingALoadedPropertyPrintsTheEditButStoresNothing()
    {
        TestDatabase db;
        db.insert(withLocation(QStringLiteral("一"), QStringLiteral("1")));
        const PropertyRecord stored = withLocation(QStringLiteral("港区芝公園 'A' 棟"), QStringLiteral("2"));
        db.insert(stored);
        const auto before = db.rows();
        Fixture f(db.folder());

        whenModal<F_Itiran>([](F_Itiran* list) {
            ctrlClickLine(list->grid(), 2);
            QTest::mouseClick(list->findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        });
        whenModal<F_Tyukai>([](F_Tyukai* entry) {
            typeInto(entry, 23, QStringLiteral("南向き、値下げしました"));
            typeInto(entry, kNameTextIndex, QStringLiteral("日当たり良好"));
            QTest::mouseClick(entry->findChild<QPushButton*>(QStringLiteral("Command1_0")), Qt::LeftButton);
            QTest::mouseClick(entry->findChild<QPushButton*>(QStringLiteral("Command1_2")), Qt::LeftButton);
        });
        F_Itiran::openFromMenu(f.services());

        QCOMPARE(f.printers.documents.size(), 1);
        const QStringList& page = f.printers.documents.first();
        QVERIFY(page.contains(QStringLiteral("text 南向き、値下げしました")));
        QVERIFY(page.contains(QStringLiteral("text 日当たり良好")));
        QVERIFY(page.contains(QStringLiteral("text ") + stored[kSyozaiIndex]));
        QVERIFY(!page.contains(QStringLiteral("text ") + stored[23]));
        QCOMPARE(page.last(), QStringLiteral("end"));
        QVERIFY(f.messages.shown.isEmpty());
        QCOMPARE(db.rows(), before);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestListScreen test;
    return TestDatabase::runOnBothEngines(test, argc, argv);
}
#include "TestListScreen.moc"
