// The main menu: start-up with and without a usable database, its layout in
// twips, its buttons, and the fonts its faces need.
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
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "screens/F_Main.h"
#include "screens/Twips.h"
#include "store/PropertyStore.h"
#include "tests/support/FlyerSample.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestMainMenu : public QObject
{
    Q_OBJECT

private:
    struct Fixture : ScreenFixture
    {
        explicit Fixture(const QString& folder)
            : ScreenFixture(folder)
            , menu(services())
        {
        }
        F_Main menu;
    };

private slots:
    void initTestCase() { registerFontSubstitutions(); }

    void everyFaceHasAnInstalledSubstitute()
    {
        const QStringList missing = missingSubstituteFonts();
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("install: ") + missing.join(QStringLiteral(", "))));
        // Asking for a face by its layout name must land on its substitute.
        for (const FontSubstitution& s : fontSubstitutions())
            QCOMPARE(QFontInfo(QFont(s.requested)).family(), s.substitute);
    }

    void startsSilentlyWithTheDatabasePresent()
    {
        TestDatabase db;
        Fixture f(db.folder());
        f.menu.start();
        QVERIFY(f.menu.isVisible());
        QVERIFY(f.messages.shown.isEmpty());
        QVERIFY(f.store.isOpen());
        QCOMPARE(f.menu.focusWidget(), f.menu.findChild<QPushButton*>(QStringLiteral("Command1_0")));
    }

    // Deleted properties are kept 365 days; older ones go at start-up.
    void startUpForgetsDeletedPropertiesKeptOverAYear()
    {
        TestDatabase db;
        db.exec(QStringLiteral("INSERT INTO Fudousan_Sakuzyo (Sakuzyo_Nitizi, Syozai) VALUES "
                               "('2025-03-31T23:59:59.999Z', 'over a year'), ('2025-04-01T00:00:00.001Z', 'a year'), "
                               "('2026-03-31T12:00:00.000Z', 'yesterday')"));
        const FakeClock clock(QDateTime(QDate(2026, 4, 1), QTime(0, 0), Qt::UTC));
        Fixture f(db.folder());
        f.store.useClock(clock);
        f.menu.start();
        QTRY_COMPARE(db.values(QStringLiteral("SELECT Syozai FROM Fudousan_Sakuzyo ORDER BY rowid")),
            (QStringList { QStringLiteral("a year"), QStringLiteral("yesterday") }));
    }

    // The first start of a day takes the day's copy, once the menu is on
    // the screen: the copy reads the whole file, and the agent sees the
    // menu meanwhile.
    void theDaysCopyIsTakenOnceTheMenuIsShown()
    {
        TestDatabase db;
        db.insert(TestDatabase::distinctRecord(QStringLiteral("a")));
        Fixture f(db.folder());
        const QString copy = QDir(f.store.backupFolder())
                                 .filePath(QStringLiteral("Fudousan-%1.mdb")
                                               .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
        f.menu.start();
        QVERIFY(f.menu.isVisible());
        QVERIFY(!QFile::exists(copy));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 1000);
        QVERIFY(f.messages.shown.isEmpty());
    }

    void saysOnceWhyTheDatabaseDidNotOpenThenShowsTheMenu()
    {
        TestDatabase db(false);
        Fixture f(db.folder());
        bool menuVisibleDuringMessage = true;
        f.messages.onShow = [&](const RecordingMessageBox::Shown&) { menuVisibleDuringMessage = f.menu.isVisible(); };
        f.menu.start();
        QCOMPARE(f.messages.shown.size(), 1);
        const auto& shown = f.messages.shown.first();
        QCOMPARE(shown.style, int(MB_Critical));
        QCOMPARE(shown.title, QStringLiteral("Zabrelo"));
        QCOMPARE(shown.text.count(db.path()), 1);
        QVERIFY(shown.text.contains(QStringLiteral("ありません")));
        QVERIFY(!menuVisibleDuringMessage);
        QVERIFY(f.menu.isVisible());
        QVERIFY(!QFile::exists(db.path()));
    }

    void exitEndsTheRunAndOtherIndexesDoNothing()
    {
        TestDatabase db;
        Fixture f(db.folder());
        f.menu.start();
        f.menu.Command1_Click(3);
        f.menu.Command1_Click(-1);
        QCOMPARE(f.environment.endCount, 0);
        QTest::mouseClick(f.menu.findChild<QPushButton*>(QStringLiteral("Command1_2")), Qt::LeftButton);
        QCOMPARE(f.environment.endCount, 1);
        QVERIFY(f.messages.shown.isEmpty());
    }

    // After 終了 or the close button, Fudousan.mdb alone is the whole
    // database: no -wal or -shm is left beside it, and a copy of that one
    // file holds every row the run saved or deleted.
    void exitLeavesTheFileCompleteOnItsOwn_data()
    {
        QTest::addColumn<bool>("closeButton");
        QTest::newRow("終了") << false;
        QTest::newRow("close button") << true;
    }

    void exitLeavesTheFileCompleteOnItsOwn()
    {
        QFETCH(bool, closeButton);
        TestDatabase db;
        TestDatabase copy(false);
        {
            Fixture f(db.folder());
            f.menu.start();
            for (int i = 0; i < 3; ++i)
                f.store.Save_Property(SampleEntryView(TestDatabase::distinctRecord(QString::number(i))));
            QVERIFY(f.store.Run_Query(QStringLiteral("DELETE FROM Fudousan WHERE rowid = 2")));
            if (closeButton)
                f.menu.close();
            else
                f.menu.Command1_Click(2);
            QCOMPARE(f.environment.endCount, closeButton ? 0 : 1);
            // As at the process's end: nothing of the run is released after this.
            QVERIFY(!QFile::exists(db.path() + QStringLiteral("-wal")));
            QVERIFY(!QFile::exists(db.path() + QStringLiteral("-shm")));
            QVERIFY(QFile::copy(db.path(), copy.path()));
        }
        const auto rows = copy.rows();
        QCOMPARE(int(rows.size()), 2);
        QCOMPARE(rows.back()[0], std::optional<QString>(TestDatabase::distinctRecord(QStringLiteral("2"))[0]));
    }

    void layoutFollowsTheTwipTable()
    {
        TestDatabase db;
        Fixture f(db.folder());
        QCOMPARE(f.menu.windowTitle(), QStringLiteral("Quintaveli"));
        QCOMPARE(f.menu.size(), QSize(twipsToPixels(15240), twipsToPixels(11010)));
        const struct
        {
            const char* name;
            QString text;
            int top;
        } buttons[] = { { "Command1_0", QStringLiteral("物件登録一覧"), 5325 },
            { "Command1_1", QStringLiteral("物件印刷・登録"), 7125 }, { "Command1_2", QStringLiteral("終了"), 8925 } };
        for (const auto& b : buttons) {
            auto* button = f.menu.findChild<QPushButton*>(QLatin1String(b.name));
            QVERIFY(button);
            QCOMPARE(button->text(), b.text);
            QCOMPARE(button->geometry(), twipsRect(4755, b.top, 5745, 975));
            QCOMPARE(button->font().family(), QStringLiteral("HGP創英角ﾎﾟｯﾌﾟ体"));
            QCOMPARE(button->font().pointSizeF(), 21.75);
        }
        QCOMPARE(f.menu.findChild<QPushButton*>(QStringLiteral("Command1_0"))->palette().color(QPalette::Button),
            QColor(255, 255, 0));
        QCOMPARE(f.menu.findChild<QPushButton*>(QStringLiteral("Command1_2"))->palette().color(QPalette::Button),
            QColor(255, 128, 255));
        auto* frame = f.menu.findChild<QWidget*>(QStringLiteral("Shape_1"));
        QVERIFY(frame);
        QCOMPARE(frame->geometry(), twipsRect(4635, 7005, 6015, 1215));
        auto* title = f.menu.findChild<QLabel*>(QStringLiteral("Label1"));
        QCOMPARE(title->text(), QStringLiteral("Quintaveli"));
        QCOMPARE(title->geometry().marginsRemoved(title->contentsMargins()), twipsRect(1080, 720, 5580, 540));
    }
};

QTEST_MAIN(TestMainMenu)
#include "TestMainMenu.moc"
