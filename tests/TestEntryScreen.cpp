// The entry screen driven as the agent drives it: typing, the map picture,
// registering and printing into a real database file, with the dialogs, the
// printer and the input method played by doubles.
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeEventPump.h"
#include "tests/fakes/FakeFileOpenDialog.h"
#include "tests/fakes/FakeGrid.h"
#include "tests/fakes/RecordingInputMethod.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/RecordingPrinter.h"
#include "tests/support/AppFixture.h"
#include "tests/support/MapSamples.h"
#include "tests/support/TestDatabase.h"

#include "platform/Fonts.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "screens/F_Tyukai.h"
#include "screens/PictureBox.h"
#include "screens/Tsubo.h"
#include "screens/Twips.h"
#include "store/PropertyStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString kCompletion = QStringLiteral("登録を完了しました。");
const QString kLocationRequired = QStringLiteral("所在は必ず入力して下さい。");

// A 48 x 32 GIF in one green; Qt reads GIF but cannot write it.
const unsigned char kGreenGif[] = { 0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x30, 0x00, 0x20, 0x00, 0xf0, 0x00, 0x00, 0x00,
    0xa0, 0x40, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x30,
    0x00, 0x20, 0x00, 0x00, 0x02, 0x26, 0x84, 0x8f, 0xa9, 0xcb, 0xed, 0x0f, 0xa3, 0x9c, 0xb4, 0xda, 0x8b, 0xb3, 0xde,
    0xbc, 0xfb, 0x0f, 0x86, 0xe2, 0x48, 0x96, 0xe6, 0x89, 0xa6, 0xea, 0xca, 0xb6, 0xee, 0x0b, 0xc7, 0xf2, 0x4c, 0xd7,
    0xf6, 0x8d, 0xe7, 0xfa, 0x5d, 0x00, 0x00, 0x3b };

// Picture files of every kind the map button takes, and files it must refuse.
class MapFiles
{
public:
    MapFiles()
    {
        QImage bmp(60, 40, QImage::Format_RGB32);
        bmp.fill(QColor(200, 0, 0));
        bmp.save(path("map.bmp"));
        QImage jpeg(640, 480, QImage::Format_RGB32);
        for (int y = 0; y < jpeg.height(); ++y) {
            for (int x = 0; x < jpeg.width(); ++x)
                jpeg.setPixel(x, y, qRgb((x * 7) & 0xff, (y * 5) & 0xff, (x * y) & 0xff));
        }
        jpeg.save(path("map.jpg"), "JPEG", 90);
        write("map.gif", QByteArray(reinterpret_cast<const char*>(kGreenGif), sizeof kGreenGif));
        write("text.bmp", "This is a note, not a picture.\n");
        QFile whole(path("map.jpg"));
        whole.open(QIODevice::ReadOnly);
        const QByteArray bytes = whole.readAll();
        write("truncated.jpg", bytes.left(bytes.size() / 2));
        // A 1 x 1 GIF on a screen of 65535 x 65535.
        QByteArray huge(reinterpret_cast<const char*>(kGreenGif), sizeof kGreenGif);
        huge[6] = huge[7] = huge[8] = huge[9] = char(0xff);
        write("huge.gif", huge);
        write("damaged.pdf", QByteArray("%PDF-1.4\n") + QByteArray(2000, 'x'));

        // The kinds agents have today, each of its own size.
        write("screenshot.png", encodedPicture(mapDrawing(400, 300), "PNG"));
        write("webmap.webp", encodedPicture(mapDrawing(420, 310), "WEBP"));
        write("scan.tif", encodedPicture(mapDrawing(440, 320), "TIFF"));
        write("IMG_0412.HEIC", heicOf(mapDrawing(460, 330)));
        write("extract.pdf", vectorPdfMap(QSizeF(288, 216))); // 4 x 3 inches: 1200 x 900 at 300 dpi
    }

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private:
    void write(const char* name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    }

    QTemporaryDir m_dir;
};

// Types `text` into `field` as the input method commits it, which is how
// Japanese reaches a box.
void typeIn(QLineEdit* field, const QString& text)
{
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(field, &commit);
}

PropertyRecord storedRecord(const std::vector<std::optional<QString>>& row)
{
    PropertyRecord record;
    for (int i = 0; i < kColumnCount; ++i)
        record[i] = row.at(i).value_or(QStringLiteral("<NULL>"));
    return record;
}

} // namespace

class TestEntryScreen : public QObject
{
    Q_OBJECT

private:
    struct Fixture : ScreenFixture
    {
        explicit Fixture(const QString& folder, bool open = true)
            : ScreenFixture(folder)
        {
            if (open)
                store.Open_Database();
        }
    };

    static QPushButton* button(QWidget& screen, int index)
    {
        return screen.findChild<QPushButton*>(QStringLiteral("Command1_%1").arg(index));
    }
    static QLineEdit* box(QWidget& screen, int index)
    {
        return screen.findChild<QLineEdit*>(QStringLiteral("Tbox_%1").arg(index));
    }
    static void click(QWidget& screen, int index) { QTest::mouseClick(button(screen, index), Qt::LeftButton); }

    MapFiles m_maps;

private slots:
    void initTestCase() { registerFontSubstitutions(); }

    void theLocationMustNotBeEmpty_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("location");
        QTest::addColumn<bool>("refused");
        QTest::newRow("print, empty") << 0 << QString() << true;
        QTest::newRow("register, empty") << 1 << QString() << true;
        QTest::newRow("print, one blank") << 0 << QStringLiteral(" ") << false;
        QTest::newRow("register, one blank") << 1 << QStringLiteral(" ") << false;
    }

    void theLocationMustNotBeEmpty()
    {
        QFETCH(int, command);
        QFETCH(QString, location);
        QFETCH(bool, refused);
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        typeIn(box(screen, 0), QStringLiteral("3500万円"));
        typeIn(box(screen, kSyozaiIndex), location);
        click(screen, command);

        QCOMPARE(f.messages.shown.size(), 1);
        const auto& shown = f.messages.shown.first();
        if (refused) {
            QCOMPARE(shown.text, kLocationRequired);
            QCOMPARE(shown.style, 16);
            QCOMPARE(shown.title, QStringLiteral("Zabrelo"));
            QCOMPARE(db.rowCount(), 0);
            QVERIFY(f.printers.documents.isEmpty());
            QCOMPARE(f.events.count, 0);
            QCOMPARE(screen.boxText(0), QStringLiteral("3500万円")); // the boxes keep their texts
        } else {
            QCOMPARE(shown.text, kCompletion);
            QCOMPARE(db.rowCount(), 1);
            QCOMPARE(db.rows().at(0).at(kSyozaiIndex), std::optional<QString>(location));
            QCOMPARE(f.printers.documents.size(), command == 0 ? 1 : 0);
        }
    }

    void registeringTwiceStoresTwoRows()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        screen.setBoxText(kSyozaiIndex, QStringLiteral("横浜市青葉区1-2-3"));
        screen.setBoxText(kKakakuIndex, QStringLiteral("4200"));
        click(screen, 1);
        click(screen, 1);

        const auto rows = db.rows();
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(rows.at(0), rows.at(1));
        QCOMPARE(f.messages.shown.size(), 2);
        for (const auto& shown : f.messages.shown) {
            QCOMPARE(shown.text, kCompletion);
            QCOMPARE(shown.style, 0);
            QCOMPARE(shown.title, QStringLiteral("Mirandel"));
        }
        QVERIFY(f.printers.documents.isEmpty());
        QCOMPARE(f.events.count, 0); // registering shows no notice
    }

    void printingTwiceStoresOnceAndPrintsTwice()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        screen.setBoxText(kSyozaiIndex, QStringLiteral("川崎市'中原区'"));
        click(screen, 0);
        QCOMPARE(db.rowCount(), 1);
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.printers.documents.size(), 1);

        // Edits of a stored location reach the flyer, not the database.
        screen.setBoxText(kKakakuIndex, QStringLiteral("値下げ"));
        click(screen, 0);
        QCOMPARE(db.rowCount(), 1);
        QCOMPARE(db.rows().at(0).at(kKakakuIndex), std::optional<QString>(QString()));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.printers.documents.size(), 2);
    }

    void theNoticeIsUpOnlyWhilePrinting()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        auto* notice = screen.findChild<QLabel*>(QStringLiteral("SSPanel"));
        screen.show();
        QVERIFY(!notice->isVisible());

        QList<bool> atPump;
        bool onTop = false;
        f.events.onProcess = [&] {
            atPump << notice->isVisible();
            // It lies over the controls it overlaps, the map box among them.
            onTop = onTop || screen.childAt(notice->geometry().center()) == notice;
        };
        bool duringMessage = false;
        f.messages.onShow = [&](const RecordingMessageBox::Shown&) { duringMessage = notice->isVisible(); };
        screen.setBoxText(kSyozaiIndex, QStringLiteral("藤沢市"));
        click(screen, 0);

        QCOMPARE(atPump, QList<bool>({ true, false }));
        QVERIFY(duringMessage);
        QVERIFY(!notice->isVisible());
        QVERIFY(onTop);
        QCOMPARE(f.printers.documents.size(), 1);
    }

    void aFailedSaveIsReportedAndNothingFollows_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("print") << 0;
        QTest::newRow("register") << 1;
    }

    void aFailedSaveIsReportedAndNothingFollows()
    {
        QFETCH(int, command);
        TestDatabase db;
        Fixture f(db.folder(), false); // the database was never opened
        F_Tyukai screen(f.services());
        screen.show();
        screen.setBoxText(kSyozaiIndex, QStringLiteral("鎌倉市"));
        click(screen, command);

        QCOMPARE(f.messages.shown.size(), 1);
        const auto& shown = f.messages.shown.first();
        QCOMPARE(shown.style, 16);
        QCOMPARE(shown.title, QStringLiteral("Zabrelo"));
        QVERIFY(shown.text != kCompletion);
        QVERIFY(f.printers.documents.isEmpty());
        QCOMPARE(db.rowCount(), 0);
        QCOMPARE(f.events.count, command == 0 ? 2 : 0);
        QVERIFY(!screen.findChild<QLabel*>(QStringLiteral("SSPanel"))->isVisible());
        QVERIFY(screen.isVisible()); // back on the screen, texts kept
        QCOMPARE(screen.boxText(kSyozaiIndex), QStringLiteral("鎌倉市"));
    }

    void aFailedPrintKeepsTheStoredRowAndHidesTheNotice()
    {
        TestDatabase db;
        Fixture f(db.folder());
        f.printers.refuse = true;
        F_Tyukai screen(f.services());
        screen.show();
        screen.setBoxText(kSyozaiIndex, QStringLiteral("逗子市"));
        click(screen, 0);

        QCOMPARE(db.rowCount(), 1);
        QCOMPARE(f.messages.shown.size(), 2);
        QCOMPARE(f.messages.shown.at(0).text, kCompletion);
        QCOMPARE(f.messages.shown.at(1).style, 16);
        QVERIFY(f.messages.shown.at(1).text.contains(QStringLiteral("プリンター")));
        QCOMPARE(f.events.count, 2);
        QVERIFY(!screen.findChild<QLabel*>(QStringLiteral("SSPanel"))->isVisible());
    }

    void everyBoxLandsInItsOwnColumn()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        PropertyRecord expected = TestDatabase::distinctRecord(QStringLiteral("typed"));
        for (int i = 0; i < kBoxCount; ++i)
            QTest::keyClicks(box(screen, i), expected[i]);
        f.fileDialog.answers = { m_maps.path("map.gif") };
        click(screen, 3);
        expected[kMadoriIndex] = m_maps.path("map.gif");
        click(screen, 1);

        QCOMPARE(db.rowCount(), 1);
        const PropertyRecord stored = storedRecord(db.rows().at(0));
        for (int i = 0; i < kColumnCount; ++i)
            QCOMPARE(stored[i], expected[i]);
    }

    // Each box's value reaches the flyer on its own row: the particulars run
    // down the page in box order, each value in the value column beside its
    // row's label, and the number and name lines stand in the right half.
    void everyBoxLandsOnItsOwnFlyerRow()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        const PropertyRecord typed = TestDatabase::distinctRecord(QStringLiteral("typed"));
        for (int i = 0; i < kBoxCount; ++i)
            QTest::keyClicks(box(screen, i), typed[i]);
        click(screen, 0);
        QCOMPARE(f.printers.documents.size(), 1);
        const QStringList ops = f.printers.documents.first();

        // Where each text was printed: the "at x y" that precedes it.
        auto positionOf = [&](const QString& value) -> QPointF {
            for (int k = 1; k < ops.size(); ++k) {
                if (ops.at(k).startsWith(QStringLiteral("text ")) && ops.at(k).mid(5).startsWith(value)
                    && ops.at(k - 1).startsWith(QStringLiteral("at "))) {
                    const QStringList xy = ops.at(k - 1).split(QLatin1Char(' '));
                    return QPointF(xy.at(1).toDouble(), xy.at(2).toDouble());
                }
            }
            return QPointF(-1, -1);
        };
        auto labelAt = [&](double y) {
            for (int k = 1; k < ops.size(); ++k) {
                if (ops.at(k - 1) == QStringLiteral("at 550 %1").arg(y))
                    return true;
            }
            return false;
        };

        double previousY = 2050; // the title rule
        int labelled = 0;
        for (int i = 0; i < kNoFudousanIndex; ++i) {
            const QPointF at = positionOf(typed[i]);
            QVERIFY2(at.y() > previousY, qPrintable(QStringLiteral("box %1 is out of order on the flyer").arg(i)));
            QCOMPARE(at.x(), 2600.0);
            labelled += labelAt(at.y()) ? 1 : 0;
            previousY = at.y();
        }
        QCOMPARE(labelled, 24); // the two tsubo rows carry no label
        // The number and the name stand in the right half, the name below.
        QCOMPARE(positionOf(typed[kNoFudousanIndex]).x(), 9400.0);
        QCOMPARE(positionOf(typed[kNameTextIndex]).x(), 9400.0);
        QVERIFY(positionOf(typed[kNameTextIndex]).y() > positionOf(typed[kNoFudousanIndex]).y());
        QCOMPARE(db.rowCount(), 1);
    }

    void textsAreStoredExactlyAsTyped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("blanks around") << QStringLiteral("  中区 1-1 　");
        QTest::newRow("full-width") << QStringLiteral("ＡＢＣ１２３　㎡坪ｶﾅ");
        QTest::newRow("quotes") << QStringLiteral("O'Hara \"台\" '); DROP TABLE Fudousan; --");
        QTest::newRow("100,000 characters") << QString(100000, QChar(0x571F)); // 土
    }

    void textsAreStoredExactlyAsTyped()
    {
        QFETCH(QString, text);
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        screen.setBoxText(kSyozaiIndex, text);
        screen.setBoxText(23, text);
        QCOMPARE(screen.boxText(kSyozaiIndex), text);
        click(screen, 1);
        // Printing finds the row just stored by the same text.
        click(screen, 0);

        QCOMPARE(db.rowCount(), 1);
        const auto row = db.rows().at(0);
        QCOMPARE(row.at(kSyozaiIndex), std::optional<QString>(text));
        QCOMPARE(row.at(23), std::optional<QString>(text));
        QCOMPARE(f.printers.documents.size(), 1);
    }

    // Cancelling or choosing no file says nothing; a file that cannot be
    // shown is named with why in one message. Either way the picture and the
    // map path stay, and registering stores the earlier map.
    void aMapThatDoesNotLoadChangesNothing_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("why"); // empty: no message
        QTest::newRow("cancel") << FakeFileOpenDialog::kCancel << QString();
        QTest::newRow("empty path") << QString() << QString();
        QTest::newRow("text named .bmp") << m_maps.path("text.bmp") << QStringLiteral("読み込めない形式");
        QTest::newRow("truncated JPEG") << m_maps.path("truncated.jpg") << QStringLiteral("途中で切れて");
        QTest::newRow("missing file") << m_maps.path("gone.jpg") << QStringLiteral("見つかりません");
        QTest::newRow("too large") << m_maps.path("huge.gif") << QStringLiteral("大きすぎ");
        QTest::newRow("damaged PDF") << m_maps.path("damaged.pdf") << QStringLiteral("壊れて");
    }

    void aMapThatDoesNotLoadChangesNothing()
    {
        QFETCH(QString, answer);
        QFETCH(QString, why);
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        f.fileDialog.answers = { m_maps.path("map.bmp"), answer };
        click(screen, 3);
        const QImage first = screen.picture();
        QCOMPARE(first.size(), QSize(60, 40));
        click(screen, 3);

        QCOMPARE(f.fileDialog.shownCount, 2);
        if (why.isEmpty()) {
            QVERIFY(f.messages.shown.isEmpty());
        } else {
            QCOMPARE(f.messages.shown.size(), 1);
            QCOMPARE(f.messages.shown[0].style, 16);
            QCOMPARE(f.messages.shown[0].title, QStringLiteral("Zabrelo"));
            QVERIFY2(f.messages.shown[0].text.contains(answer), qPrintable(f.messages.shown[0].text));
            QVERIFY2(f.messages.shown[0].text.contains(why), qPrintable(f.messages.shown[0].text));
        }
        QCOMPARE(screen.picture(), first);
        QCOMPARE(f.store.mapImagePath(), m_maps.path("map.bmp"));
        screen.setBoxText(kSyozaiIndex, QStringLiteral("茅ヶ崎市"));
        click(screen, 1);
        QCOMPARE(db.rows().at(0).at(kMadoriIndex), std::optional<QString>(m_maps.path("map.bmp")));
    }

    void aMapOfEveryKindLoadsAndTheLastOneIsStored_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QSize>("size");
        QTest::newRow("bitmap") << m_maps.path("map.gif") << m_maps.path("map.bmp") << QSize(60, 40);
        QTest::newRow("GIF") << m_maps.path("map.jpg") << m_maps.path("map.gif") << QSize(48, 32);
        QTest::newRow("JPEG") << m_maps.path("map.bmp") << m_maps.path("map.jpg") << QSize(640, 480);
        QTest::newRow("PNG") << m_maps.path("map.jpg") << m_maps.path("screenshot.png") << QSize(400, 300);
        QTest::newRow("WebP") << m_maps.path("map.jpg") << m_maps.path("webmap.webp") << QSize(420, 310);
        QTest::newRow("TIFF") << m_maps.path("map.jpg") << m_maps.path("scan.tif") << QSize(440, 320);
        QTest::newRow("HEIC") << m_maps.path("map.jpg") << m_maps.path("IMG_0412.HEIC") << QSize(460, 330);
        QTest::newRow("PDF") << m_maps.path("map.jpg") << m_maps.path("extract.pdf") << QSize(1200, 900);
    }

    void aMapOfEveryKindLoadsAndTheLastOneIsStored()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QSize, size);
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        QCOMPARE(f.fileDialog.filter,
            QStringLiteral("地図画像|*.png;*.jpg;*.jpeg;*.jpe;*.bmp;*.gif;*.webp;*.tif;*.tiff;*.heic;*.heif;*.pdf|"
                           "ビットマップイメージ(*.bmp)|*.bmp|GIF(*.gif)|*.gif|JPG(*.JPG,*JPE)|*.jpg"));
        QVERIFY(f.fileDialog.cancelError);
        f.fileDialog.answers = { first, second };
        click(screen, 3);
        QCOMPARE(f.store.mapImagePath(), first);
        click(screen, 3);
        QCOMPARE(screen.picture().size(), size);
        QCOMPARE(f.store.mapImagePath(), second);

        screen.setBoxText(kSyozaiIndex, QStringLiteral("茅ヶ崎市"));
        click(screen, 1);
        QCOMPARE(db.rows().at(0).at(kMadoriIndex), std::optional<QString>(second));
        QVERIFY(f.messages.shown.size() == 1);

        // Printed on the flyer, and shown again when the property is.
        click(screen, 0);
        QCOMPARE(f.printers.documents.size(), 1);
        QVERIFY(f.printers.documents[0].filter(QRegularExpression("^picture 9400 3100 ")).size() == 1);
        F_Tyukai shown(f.services());
        FakeGrid list;
        f.store.Fill_Property_List(list);
        f.store.Load_Property(list.rowKey(1), shown);
        QCOMPARE(shown.picture().size(), size);
    }

    // Shown again after its map file was removed: the picture box names the
    // file, inside the box; no message interrupts the agent.
    void aStoredMapThatIsGoneIsNamedInThePictureBox()
    {
        TestDatabase db;
        Fixture f(db.folder());
        const QString map = QDir(db.folder()).filePath(QStringLiteral("北側の地図.png"));
        QVERIFY(QFile::copy(m_maps.path("screenshot.png"), map));
        {
            F_Tyukai screen(f.services());
            f.fileDialog.answers = { map };
            click(screen, 3);
            screen.setBoxText(kSyozaiIndex, QStringLiteral("市川市"));
            click(screen, 1);
        }
        QVERIFY(QFile::remove(map));
        f.messages.shown.clear();

        F_Tyukai shown(f.services());
        FakeGrid list;
        f.store.Fill_Property_List(list);
        f.store.Load_Property(list.rowKey(1), shown);

        QVERIFY(f.messages.shown.isEmpty());
        QVERIFY(shown.picture().isNull());
        QCOMPARE(f.store.mapImagePath(), map);
        auto* box = shown.findChild<PictureBox*>(QStringLiteral("Picture1"));
        QCOMPARE(box->notice(), QStringLiteral("地図のファイルが見つかりません:\n") + map);
        const QImage drawn = box->grab().toImage();
        if (!qEnvironmentVariableIsEmpty("FUDOUSAN_SHOTS"))
            drawn.save(qEnvironmentVariable("FUDOUSAN_SHOTS") + QStringLiteral("/missing-map.png"));
        const QRect inside = box->contentsRect();
        int inked = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            for (int x = inside.left(); x <= inside.right(); ++x)
                inked += qGray(drawn.pixel(x, y)) < 100;
        }
        QVERIFY2(inked > 200, "no notice drawn in the box");

        // A map chosen then takes its place.
        f.fileDialog.answers = { m_maps.path("map.bmp") };
        click(shown, 3);
        QCOMPARE(shown.picture().size(), QSize(60, 40));
        QVERIFY(box->notice().isEmpty());
    }

    void tsuboFromSquareMetres_data()
    {
        QTest::addColumn<QString>("squareMetres");
        QTest::addColumn<QString>("tsubo"); // empty: the 坪 box is left alone
        QTest::newRow("the agents' example") << "165.29"
                                             << "50.00";
        QTest::newRow("whole number") << "100"
                                      << "30.25";
        QTest::newRow("rounded down, not to nearest") << "150.25"
                                                      << "45.45"; // 45.450625
        QTest::newRow("just under one tsubo") << "3.3057"
                                              << "0.99"; // 0.99997...
        // Exact in hundredths, one below in binary fractions.
        QTest::newRow("60") << "60"
                            << "18.15";
        QTest::newRow("28") << "28"
                            << "8.47";
        QTest::newRow("120.00") << "120.00"
                                << "36.30";
        QTest::newRow("zero") << "0"
                              << "0.00";
        QTest::newRow("full-width digits and point") << "１６５．２９"
                                                     << "50.00";
        QTest::newRow("thousands comma") << "1,234.5"
                                         << "373.43";
        QTest::newRow("full-width comma, sign after it") << "1，234.5㎡"
                                                         << "373.43";
        QTest::newRow("blanks around") << " 165.29 ㎡　"
                                       << "50.00";
        QTest::newRow("ten digits") << "9999999999.999999"
                                    << "3024999999.99";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blank") << " "
                               << "";
        QTest::newRow("a word before") << "約165"
                                       << "";
        QTest::newRow("m2") << "165.29m2"
                            << "";
        QTest::newRow("the other unit") << "50坪"
                                        << "";
        QTest::newRow("two points") << "165.29.1"
                                    << "";
        QTest::newRow("negative") << "-5"
                                  << "";
        QTest::newRow("plus") << "+5"
                              << "";
        QTest::newRow("misplaced comma") << "1,23"
                                         << "";
        QTest::newRow("comma after four digits") << "1234,567"
                                                 << "";
        QTest::newRow("point without digits after") << "165."
                                                    << "";
        QTest::newRow("point without digits before") << ".5"
                                                     << "";
        QTest::newRow("exponent") << "1e3"
                                  << "";
        QTest::newRow("two numbers") << "165 29"
                                     << "";
        QTest::newRow("eleven digits") << "12345678901"
                                       << "";
        QTest::newRow("seven decimals") << "1.1234567"
                                        << "";
    }

    void tsuboFromSquareMetres()
    {
        QFETCH(QString, squareMetres);
        QFETCH(QString, tsubo);
        QCOMPARE(::tsuboFromSquareMetres(squareMetres), tsubo);
    }

    // Leaving a ㎡ box with a number fills the empty 坪 box beside it, and
    // nothing else; a 坪 box holding text is never changed.
    void leavingASquareMetreBoxFillsItsEmptyTsuboBox()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        screen.show();
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        const auto leave = [&](int from, int to) {
            box(screen, from)->setFocus(Qt::TabFocusReason);
            box(screen, to)->setFocus(Qt::TabFocusReason);
        };
        const auto texts = [&] {
            QStringList all;
            for (int i = 0; i < kBoxCount; ++i)
                all << screen.boxText(i);
            return all;
        };

        box(screen, 3)->setFocus(Qt::TabFocusReason);
        typeIn(box(screen, 3), QStringLiteral("165.29"));
        QStringList expected = texts();
        leave(3, 5);
        expected[4] = QStringLiteral("50.00");
        QCOMPARE(texts(), expected);

        // The building's: the same; a second leaving changes nothing.
        typeIn(box(screen, 5), QStringLiteral("１,２００㎡"));
        leave(5, 1);
        expected[5] = QStringLiteral("１,２００㎡");
        expected[6] = QStringLiteral("363.00");
        QCOMPARE(texts(), expected);
        box(screen, 3)->setText(QStringLiteral("200"));
        expected[3] = QStringLiteral("200");
        leave(3, 1);
        QCOMPARE(texts(), expected); // 坪 holds 50.00 already

        // Text the agent typed in a 坪 box stays; no number fills nothing.
        box(screen, 6)->setText(QStringLiteral("約363"));
        box(screen, 4)->clear();
        box(screen, 3)->setText(QStringLiteral("約200"));
        expected[3] = QStringLiteral("約200");
        expected[4] = QString();
        expected[6] = QStringLiteral("約363");
        leave(3, 5);
        leave(5, 1);
        QCOMPARE(texts(), expected);

        // Leaving another box, or the ㎡ box for its context menu, fills nothing.
        box(screen, 3)->setText(QStringLiteral("100"));
        expected[3] = QStringLiteral("100");
        box(screen, 3)->setFocus(Qt::TabFocusReason);
        box(screen, 1)->setFocus(Qt::PopupFocusReason);
        leave(2, 1);
        QCOMPARE(texts(), expected);
        leave(3, 1);
        expected[4] = QStringLiteral("30.25");
        QCOMPARE(texts(), expected);
    }

    void thePictureIsShownUnscaledFromTheTopLeft()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        auto* pictureBox = screen.findChild<QFrame*>(QStringLiteral("Picture1"));
        // Larger than the box: a scaled picture would show its far corner.
        QImage map(pictureBox->width() + 200, pictureBox->height() + 200, QImage::Format_RGB32);
        map.fill(QColor(0, 0, 200));
        map.setPixelColor(0, 0, QColor(255, 0, 0));
        map.setPixelColor(map.width() - 1, map.height() - 1, QColor(0, 255, 0));
        map.setDotsPerMeterX(11811); // 300 dpi must not shrink it
        map.setDotsPerMeterY(11811);
        screen.setPicture(map);

        const QImage shown = pictureBox->grab().toImage();
        const QRect inside = pictureBox->contentsRect();
        QCOMPARE(shown.pixelColor(inside.topLeft()), QColor(255, 0, 0));
        QCOMPARE(shown.pixelColor(inside.topLeft() + QPoint(1, 1)), QColor(0, 0, 200));
        QCOMPARE(shown.pixelColor(inside.bottomRight()), QColor(0, 0, 200));
        QVERIFY(shown.pixelColor(pictureBox->rect().bottomRight()) != QColor(0, 0, 200)); // the frame stays
    }

    void aNewScreenAfterGoingBackIsEmpty()
    {
        TestDatabase db;
        Fixture f(db.folder());
        f.fileDialog.answers = { m_maps.path("map.jpg") };
        bool typed = false;
        QTimer::singleShot(0, [&] {
            auto* screen = qobject_cast<F_Tyukai*>(QApplication::activeModalWidget());
            QVERIFY(screen);
            typeIn(box(*screen, kSyozaiIndex), QStringLiteral("平塚市"));
            click(*screen, 3);
            typed = !screen->picture().isNull();
            click(*screen, 2);
        });
        F_Tyukai::openFromMenu(f.services());
        QVERIFY(typed);
        QCOMPARE(f.store.mapImagePath(), m_maps.path("map.jpg"));

        bool empty = false;
        QTimer::singleShot(0, [&] {
            auto* screen = qobject_cast<F_Tyukai*>(QApplication::activeModalWidget());
            QVERIFY(screen);
            empty = screen->picture().isNull() && f.store.mapImagePath().isEmpty();
            for (int i = 0; i < kBoxCount; ++i)
                empty = empty && screen->boxText(i).isEmpty();
            QCOMPARE(screen->focusWidget(), screen->findChild<QWidget*>(QStringLiteral("Picture1")));
            // A property registered now carries no map of the previous one.
            screen->setBoxText(kSyozaiIndex, QStringLiteral("小田原市"));
            click(*screen, 1);
            screen->close(); // the title-bar close button
        });
        F_Tyukai::openFromMenu(f.services());
        QVERIFY(empty);
        QCOMPARE(db.rowCount(), 1);
        QCOMPARE(db.rows().at(0).at(kMadoriIndex), std::optional<QString>(QString()));
    }

    void keysDoNotLeaveOrPressButtonsUnasked()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        screen.show();
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        box(screen, 2)->setFocus();
        QTest::keyClick(box(screen, 2), Qt::Key_Return);
        QTest::keyClick(box(screen, 2), Qt::Key_Escape);
        QVERIFY(f.messages.shown.isEmpty());
        QVERIFY(screen.isVisible());
        // Enter on a focused button presses it.
        button(screen, 1)->setFocus();
        QTest::keyClick(button(screen, 1), Qt::Key_Return);
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text, kLocationRequired);

        // Held down, Enter repeats: the property is registered once.
        screen.setBoxText(kSyozaiIndex, QStringLiteral("長押し町1-1"));
        for (bool repeat : { false, true, true, true, true }) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), repeat);
            QApplication::sendEvent(button(screen, 1), &press);
        }
        QCOMPARE(db.rowCount(), 1);
    }

    void tabOrderFocusAndInputMethod()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        screen.show();
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        QCOMPARE(screen.focusWidget()->objectName(), QStringLiteral("Picture1"));

        QStringList expected = { QStringLiteral("Command1_0"), QStringLiteral("Command1_2"), QStringLiteral("Tbox_27"),
            QStringLiteral("Command1_1"), QStringLiteral("Command1_3"), QStringLiteral("Tbox_26") };
        for (int i = 0; i < 26; ++i)
            expected << QStringLiteral("Tbox_%1").arg(i);
        expected << QStringLiteral("Picture1");
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, expected);

        // Every box but the number asked for hiragana as it got the focus.
        QStringList asked;
        for (QWidget* field : f.inputMethod.fields)
            asked << field->objectName();
        QStringList boxesInOrder = expected.filter(QStringLiteral("Tbox_"));
        boxesInOrder.removeAll(QStringLiteral("Tbox_26"));
        QCOMPARE(asked, boxesInOrder);
    }

    void everyFieldIsNamedByItsCaption()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        QSet<QWidget*> named;
        for (QLabel* label : screen.findChildren<QLabel*>()) {
            if (label->buddy())
                named.insert(label->buddy());
        }
        for (int i = 0; i < kBoxCount; ++i)
            QCOMPARE(named.contains(box(screen, i)), i != kNameTextIndex);
        QCOMPARE(screen.findChild<QLabel*>(QStringLiteral("Lbl_11"))->buddy(), box(screen, 8)); // 現況
        QCOMPARE(screen.findChild<QLabel*>(QStringLiteral("Lbl_13"))->buddy(), box(screen, 9)); // 構造
    }

    void layoutFollowsTheTwipTable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        const QString gothic = QStringLiteral("ＭＳ ゴシック");
        const QString pop = QStringLiteral("HGP創英角ﾎﾟｯﾌﾟ体");
        auto row
            = [](const char* name, const QString& text, QRect twips, const QString& family, double points, bool bold) {
                  QTest::newRow(name) << QString::fromLatin1(name) << text << twips << family << points << bold;
              };
        row("Tbox_0", QString(), QRect(1200, 1080, 2910, 420), gothic, 15.75, true);
        row("Tbox_11", QString(), QRect(4035, 5145, 3060, 420), gothic, 15.75, true);
        row("Tbox_12", QString(), QRect(1905, 5640, 2100, 405), gothic, 15.75, true);
        row("Tbox_26", QString(), QRect(8415, 9840, 6645, 405), gothic, 15.75, true);
        row("Tbox_27", QString(), QRect(4890, 10320, 10170, 615), gothic, 26.25, false);
        row("Lbl_0", QStringLiteral("価格"), QRect(420, 1125, 690, 330), gothic, 15.75, true);
        row("Lbl_10", QStringLiteral("登記"), QRect(1290, 4035, 510, 240), gothic, 12, true);
        row("Lbl_32", QStringLiteral("仲介料"), QRect(405, 10500, 1065, 300), gothic, 15.75, true);
        row("Label1", QStringLiteral("売り土地"), QRect(240, 240, 2925, 570), QStringLiteral("HG丸ｺﾞｼｯｸM-PRO"), 26.25,
            false);
        row("Label2_23", QStringLiteral("物件地図"), QRect(10200, 2160, 1995, 510), gothic, 18, false);
        row("Label2_24", QStringLiteral("番号"), QRect(7455, 9840, 765, 390), gothic, 18, false);
        row("Command1_0", QStringLiteral("印刷"), QRect(7920, 360, 1785, 825), pop, 20.25, false);
        row("Command1_1", QStringLiteral("登録"), QRect(10440, 360, 1770, 825), pop, 20.25, false);
        row("Command1_3", QStringLiteral("地図表示"), QRect(12600, 2040, 2265, 630), gothic, 15.75, true);
        row("SSPanel", QStringLiteral("印刷中"), QRect(3480, 3720, 9435, 4395), gothic, 72, true);
        row("Picture1", QString(), QRect(7425, 2760, 7650, 6990), QString(), 0, false);
        row("Shape_0", QString(), QRect(240, 960, 6975, 8775), QString(), 0, false);
        row("Shape_1", QString(), QRect(240, 960, 6975, 1575), QString(), 0, false);
        row("Shape_8", QString(), QRect(240, 9840, 4455, 1095), QString(), 0, false);
        row("Shape_11", QString(), QRect(12720, 240, 2295, 1095), QString(), 0, false);
    }

    void layoutFollowsTheTwipTable()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, twips);
        QFETCH(QString, family);
        QFETCH(double, points);
        QFETCH(bool, bold);
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        QCOMPARE(screen.windowTitle(), QStringLiteral("Quintaveli"));
        QCOMPARE(screen.size(), QSize(twipsToPixels(15240), twipsToPixels(11010)));

        auto* control = screen.findChild<QWidget*>(name);
        QVERIFY(control);
        // A caption may stand out of its place by margins that keep its text there.
        auto* caption = qobject_cast<QLabel*>(control);
        const bool grows = caption && caption->frameShape() == QFrame::NoFrame;
        QCOMPARE(grows ? control->geometry().marginsRemoved(control->contentsMargins()) : control->geometry(),
            twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
        if (!family.isEmpty()) {
            QCOMPARE(control->font().family(), family);
            QCOMPARE(control->font().pointSizeF(), points);
            QCOMPARE(control->font().bold(), bold);
        }
        if (auto* label = qobject_cast<QLabel*>(control))
            QCOMPARE(label->text(), text);
        if (auto* push = qobject_cast<QPushButton*>(control))
            QCOMPARE(push->text(), text);
    }

    void coloursOfTheFacesAndTheNotice()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        const QColor faces[]
            = { QColor(255, 255, 128), QColor(128, 255, 128), QColor(255, 128, 128), QColor(128, 255, 255) };
        for (int i = 0; i < 4; ++i)
            QCOMPARE(button(screen, i)->palette().color(QPalette::Button), faces[i]);
        auto* notice = screen.findChild<QLabel*>(QStringLiteral("SSPanel"));
        QVERIFY(notice->isHidden());
        QCOMPARE(notice->palette().color(QPalette::Window), QColor(0, 0, 255));
        QCOMPARE(notice->palette().color(QPalette::WindowText), QColor(Qt::white));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestEntryScreen test;
    return TestDatabase::runOnBothEngines(test, argc, argv);
}
#include "TestEntryScreen.moc"
