// 「選んだ物件のチラシを印刷」 of the list screen: the selected lines' flyers as
// one document, each page as the entry screen prints that property; lines
// whose row is gone, cancelling, a printer without B4, the menu itself.
#include "tests/support/AppFixture.h"
#include "tests/support/TestDatabase.h"

#include "model/PropertyRecord.h"
#include "platform/Fonts.h"
#include "platform/grid/QtGrid.h"
#include "screens/F_Itiran.h"
#include "screens/F_Tyukai.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QItemSelectionModel>
#include <QMenu>
#include <QProgressDialog>
#include <QTest>

namespace {

const QString kWrongPaper = QStringLiteral("接続されているプリンターでは、印刷出来ません。");

// A record of `tag` whose map is the picture file `map` (empty: none).
PropertyRecord recordWithMap(const QString& tag, const QString& map)
{
    PropertyRecord record = TestDatabase::distinctRecord(tag);
    record[kMadoriIndex] = map;
    return record;
}

QString writeMap(const QString& folder, const QString& name, QSize size, QColor colour)
{
    QImage map(size, QImage::Format_RGB32);
    map.fill(colour);
    const QString path = QDir(folder).filePath(name);
    map.save(path, "PNG");
    return path;
}

// Selects grid lines `rows` (1-based, as the list numbers them) in this order.
void selectLines(QtGrid& grid, const QList<int>& rows)
{
    grid.selectionModel()->clearSelection();
    for (int row : rows)
        grid.selectionModel()->select(
            grid.model()->index(row - 1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// The pages of a recorded document: its operations between the paper check
// ("paperSize") and "end", cut at each "newPage".
QList<QStringList> pagesOf(QStringList document)
{
    if (!document.isEmpty() && document.first() == QStringLiteral("paperSize"))
        document.removeFirst();
    if (!document.isEmpty() && document.last() == QStringLiteral("end"))
        document.removeLast();
    QList<QStringList> pages { QStringList() };
    for (const QString& op : document) {
        if (op == QStringLiteral("newPage"))
            pages.append(QStringList());
        else
            pages.last().append(op);
    }
    return pages;
}

QProgressDialog* progressOf(F_Itiran& list)
{
    return list.findChild<QProgressDialog*>(QStringLiteral("FlyerProgress"));
}

} // namespace

class TestFlyerBatch : public QObject
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

    // Each page is what 印刷 of the entry screen prints for that line's
    // property after 表示: its texts, its own map, nothing of the row before.
    void selectedLinesPrintAsTheEntryScreenPrintsEach()
    {
        TestDatabase db;
        const QString wide = writeMap(db.folder(), QStringLiteral("wide.png"), QSize(300, 120), Qt::darkCyan);
        const QString tall = writeMap(db.folder(), QStringLiteral("tall.png"), QSize(90, 200), Qt::darkRed);
        db.insert(recordWithMap(QStringLiteral("1"), wide));
        db.insert(recordWithMap(QStringLiteral("2"), tall));
        db.insert(recordWithMap(QStringLiteral("3"), QString()));
        db.insert(recordWithMap(QStringLiteral("4"), tall));
        // A NULL price prints no price, never the one of the page before.
        db.exec(QStringLiteral("UPDATE Fudousan SET Kakaku = NULL WHERE Syozai = 'Syozai-3'"));
        const auto before = db.rows();
        Fixture f(db.folder());
        f.store.setMapImagePath(QStringLiteral("/entry/screen/map.png"));

        F_Itiran list(f.services());
        list.Form_Load();
        QList<QStringList> expected;
        for (int line : { 1, 3, 4 }) {
            F_Tyukai entry(f.services());
            f.store.Load_Property(list.grid().rowKey(line), entry);
            entry.Command1_Click(0);
            expected.append(pagesOf(f.printers.documents.takeLast()).first());
        }
        f.messages.shown.clear();
        f.printers.documentNames.clear();
        f.store.setMapImagePath(QStringLiteral("/entry/screen/map.png"));

        bool progressShown = false;
        f.events.onProcess = [&] { progressShown = progressShown || progressOf(list); };
        selectLines(list.grid(), { 4, 1, 3 });
        list.PrintSelectedFlyers();

        QCOMPARE(f.printers.documents.size(), 1);
        const QStringList document = f.printers.documents.first();
        QCOMPARE(document.first(), QStringLiteral("paperSize"));
        QCOMPARE(document.last(), QStringLiteral("end"));
        QCOMPARE(pagesOf(document), expected); // list order, not the order of selecting
        QVERIFY(expected[0].contains(QStringLiteral("text Kakaku-1円")));
        QVERIFY(expected[0].join('\n').contains(QStringLiteral("picture ")));
        QVERIFY(!expected[1].join('\n').contains(QStringLiteral("Kakaku-")));
        QCOMPARE(f.printers.documentNames.first(), QStringLiteral("No_Fudousan-1_Syozai-1_3件"));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text, QStringLiteral("チラシを3枚印刷しました。"));
        QCOMPARE(f.messages.shown[0].style, int(MB_Information));
        QVERIFY(!progressShown); // three pages go without one
        QCOMPARE(db.rows(), before); // nothing registered
        QCOMPARE(f.store.mapImagePath(), QStringLiteral("/entry/screen/map.png"));
    }

    void aLineWhoseRowIsGoneIsSkippedAndCounted()
    {
        TestDatabase db;
        for (const char* tag : { "1", "2", "3" })
            db.insert(TestDatabase::distinctRecord(QString::fromLatin1(tag)));
        Fixture f(db.folder());
        F_Itiran list(f.services());
        list.Form_Load();
        selectLines(list.grid(), { 1, 2, 3 });
        // Another desktop deletes a row after the list was filled.
        db.exec(QStringLiteral("DELETE FROM Fudousan WHERE Syozai = 'Syozai-1'"));
        list.PrintSelectedFlyers();

        QCOMPARE(f.printers.documents.size(), 1);
        const QList<QStringList> pages = pagesOf(f.printers.documents.first());
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages[0].contains(QStringLiteral("text Syozai-2")));
        QVERIFY(pages[1].contains(QStringLiteral("text Syozai-3")));
        QCOMPARE(f.printers.documents.first().last(), QStringLiteral("end"));
        QCOMPARE(f.printers.documentNames.first(), QStringLiteral("No_Fudousan-2_Syozai-2_2件"));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text,
            QStringLiteral("チラシを2枚印刷しました。\n削除されていた1件の物件は印刷しませんでした。"));

        // With every row gone nothing is printed, and the message says why.
        db.exec(QStringLiteral("DELETE FROM Fudousan"));
        f.messages.shown.clear();
        list.PrintSelectedFlyers();
        QCOMPARE(f.printers.documents.size(), 2);
        QVERIFY(!f.printers.documents.last().contains(QStringLiteral("end")));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text,
            QStringLiteral("選んだ物件はすべて削除されていたため、チラシは印刷されませんでした。"));
    }

    // More than a few lines show their progress; 中止 between two pages ends
    // the batch and nothing reaches the printer.
    void cancellingBetweenPagesPrintsNothing()
    {
        TestDatabase db;
        for (const char* tag : { "1", "2", "3", "4", "5" })
            db.insert(TestDatabase::distinctRecord(QString::fromLatin1(tag)));
        Fixture f(db.folder());
        F_Itiran list(f.services());
        list.Form_Load();
        selectLines(list.grid(), { 1, 2, 3, 4, 5 });
        QString label;
        f.events.onProcess = [&] {
            QProgressDialog* progress = progressOf(list);
            QVERIFY(progress && progress->isVisible());
            if (f.events.count == 3) {
                label = progress->labelText();
                progress->cancel();
            }
        };
        list.PrintSelectedFlyers();

        QCOMPARE(label, QStringLiteral("チラシを印刷しています（3 / 5）"));
        QCOMPARE(f.events.count, 3);
        QCOMPARE(f.printers.documents.size(), 1);
        QCOMPARE(pagesOf(f.printers.documents.first()).size(), 2);
        QVERIFY(!f.printers.documents.first().contains(QStringLiteral("end")));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text, QStringLiteral("印刷を中止しました。チラシは印刷されていません。"));
        QVERIFY(!progressOf(list));
    }

    void aPrinterWithoutB4GetsThePaperMessageAndNothingElse()
    {
        TestDatabase db;
        db.insert(TestDatabase::distinctRecord(QStringLiteral("1")));
        db.insert(TestDatabase::distinctRecord(QStringLiteral("2")));
        Fixture f(db.folder());
        f.printers.paper = 9; // A4
        f.printers.note
            = QStringLiteral("プリンター「Jimu」の用紙はA4です。「プリンターの設定…」でB4の用紙を選べます。");
        F_Itiran list(f.services());
        list.Form_Load();
        selectLines(list.grid(), { 1, 2 });
        list.PrintSelectedFlyers();

        QCOMPARE(f.printers.documents, (QList<QStringList> { { QStringLiteral("paperSize") } }));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text, kWrongPaper + QLatin1Char('\n') + f.printers.note);
        QCOMPARE(f.messages.shown[0].style, int(MB_Critical));
    }

    void theMenuOpensFromTheMouseAndTheMenuKeyAndAsksForALine()
    {
        TestDatabase db;
        db.insert(TestDatabase::distinctRecord(QStringLiteral("1")));
        Fixture f(db.folder());
        F_Itiran list(f.services());
        list.Form_Load();
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        auto* menu = list.findChild<QMenu*>(QStringLiteral("ListMenu"));
        QVERIFY(menu);
        auto* print = list.findChild<QAction*>(QStringLiteral("PrintSelectedFlyers"));
        QVERIFY(print && menu->actions().contains(print));
        QCOMPARE(print->text(), QStringLiteral("選んだ物件のチラシを印刷"));

        QWidget* viewport = list.grid().viewport();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(20, 10), viewport->mapToGlobal(QPoint(20, 10)));
        QApplication::sendEvent(viewport, &rightClick);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->pos(), viewport->mapToGlobal(QPoint(20, 10)));
        menu->hide();

        // The context-menu key reaches the focused grid as this event.
        list.grid().setFocus();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), list.grid().mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&list.grid(), &menuKey);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();

        // With no line selected it asks for one and opens no printer.
        list.grid().selectionModel()->clearSelection();
        print->trigger();
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text, kSelectDataMessage);
        QVERIFY(f.printers.documents.isEmpty());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestFlyerBatch test;
    return TestDatabase::runOnBothEngines(test, argc, argv);
}
#include "TestFlyerBatch.moc"
