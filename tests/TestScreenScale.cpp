// The three screens, the list's find box and its window of deleted
// properties at the desktop's scale (tests/scale/screen_scale.sh runs
// this under Xvfb at 96, 120 and 192 logical DPI and with QT_SCALE_FACTOR=2):
// every caption fits its control, each frame stands clear around what it
// frames, and a picture of each screen is kept in SCREEN_SCALE_ARTIFACTS.
#include "tests/support/AppFixture.h"
#include "tests/support/TestDatabase.h"

#include "platform/Fonts.h"
#include "platform/grid/QtGrid.h"
#include "screens/F_Itiran.h"
#include "screens/F_Main.h"
#include "screens/F_Sakuzyo.h"
#include "screens/F_Tyukai.h"
#include "screens/FindBox.h"
#include "screens/Twips.h"

#include <QDir>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QVariant>

class TestScreenScale : public QObject
{
    Q_OBJECT

private:
    // Whether `text`, drawn as the control draws it (`font`, `flags`) in
    // `room` but without clipping, puts ink outside `bounds` (horizontally too
    // when `across`): that ink is cut off on the screen. Drawn at the
    // screen's device pixel ratio, so that a fractional scale is seen as it is.
    static bool inkOutside(const QWidget* widget, const QFont& font, const QString& text, const QRect& room,
        const QRect& bounds, int flags, bool across = true)
    {
        const qreal ratio = widget->devicePixelRatioF();
        const QRect canvas = room.adjusted(-room.width(), -room.height(), room.width(), room.height());
        QImage image((QSizeF(canvas.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.translate(-canvas.topLeft());
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(room, flags | Qt::TextDontClip, text);
        painter.end();
        const QRectF inside(QPointF(bounds.topLeft() - canvas.topLeft()) * ratio, QSizeF(bounds.size()) * ratio);
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(line[x]) < 96)
                    continue;
                const bool outsideRows = y + 0.5 < inside.top() || y + 0.5 > inside.bottom();
                const bool outsideColumns = x + 0.5 < inside.left() || x + 0.5 > inside.right();
                if (outsideRows || (across && outsideColumns))
                    return true;
            }
        }
        return false;
    }

    // Every label, button and box of `screen` whose caption or text is cut off.
    static QStringList clippedCaptions(QWidget* screen)
    {
        QStringList clipped;
        for (QLabel* label : screen->findChildren<QLabel*>()) {
            if (label->text().isEmpty() || label->wordWrap() || !label->pixmap().isNull())
                continue;
            if (inkOutside(
                    label, label->font(), label->text(), label->contentsRect(), label->rect(), int(label->alignment())))
                clipped << label->objectName();
        }
        for (QPushButton* button : screen->findChildren<QPushButton*>()) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            if (inkOutside(button, button->font(), button->text(), room, room, Qt::AlignCenter))
                clipped << button->objectName();
        }
        for (QLineEdit* box : screen->findChildren<QLineEdit*>()) {
            // A long text scrolls sideways; only its height must fit.
            const QRect room = box->rect().adjusted(1, 1, -1, -1);
            if (inkOutside(box, box->font(), box->text(), room, room, Qt::AlignLeft | Qt::AlignVCenter, false))
                clipped << box->objectName();
        }
        return clipped;
    }

    // Each frame named in `framed` (frame, control) stands clear of its
    // control on every side.
    static QStringList touchingFrames(QWidget* screen, const QList<QPair<QString, QString>>& framed)
    {
        QStringList touching;
        for (const auto& [frameName, controlName] : framed) {
            const QWidget* frame = screen->findChild<QWidget*>(frameName);
            const QWidget* control = screen->findChild<QWidget*>(controlName);
            if (!frame || !control) {
                touching << frameName + QStringLiteral(" or ") + controlName + QStringLiteral(" missing");
                continue;
            }
            const QRect f = frame->geometry();
            const QRect c = control->geometry();
            if (!f.adjusted(1, 1, -1, -1).contains(c))
                touching << QStringLiteral("%1 %2 around %3 %4")
                                .arg(frameName, QVariant(f).toString(), controlName, QVariant(c).toString());
        }
        return touching;
    }

    static void keep(QWidget* screen, const QString& name)
    {
        const QString folder = qEnvironmentVariable("SCREEN_SCALE_ARTIFACTS");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        QVERIFY(screen->grab().save(QDir(folder).filePath(name + QStringLiteral(".png"))));
    }

    static void showAndSettle(QWidget* screen)
    {
        screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen));
        QTest::qWait(50);
    }

    static void expectNone(const QStringList& faults)
    {
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    }

private slots:
    void initTestCase()
    {
        registerFontSubstitutions();
        qInfo("logical DPI %g, device pixel ratio %g", screenDpi(), qApp->devicePixelRatio());
    }

    void mainMenu()
    {
        TestDatabase db;
        ScreenFixture f(db.folder());
        F_Main menu(f.services());
        menu.start();
        showAndSettle(&menu);
        keep(&menu, QStringLiteral("main-menu"));
        QCOMPARE(menu.size(), QSize(twipsToPixels(15240), twipsToPixels(11010)));
        expectNone(clippedCaptions(&menu));
        expectNone(touchingFrames(&menu,
            { { QStringLiteral("Shape_0"), QStringLiteral("Command1_0") },
                { QStringLiteral("Shape_1"), QStringLiteral("Command1_1") },
                { QStringLiteral("Shape_2"), QStringLiteral("Command1_2") } }));
    }

    void entryScreen()
    {
        TestDatabase db;
        ScreenFixture f(db.folder());
        f.openOrDie();
        F_Tyukai screen(f.services());
        for (int i = 0; i < 28; ++i)
            screen.setBoxText(i, QStringLiteral("東京都千代田区丸の内一丁目"));
        showAndSettle(&screen);
        keep(&screen, QStringLiteral("entry-screen"));
        expectNone(clippedCaptions(&screen));
    }

    void listScreen()
    {
        TestDatabase db;
        for (int i = 1; i <= 30; ++i)
            db.insert(TestDatabase::distinctRecord(QStringLiteral("東京都千代田区丸の内%1").arg(i)));
        ScreenFixture f(db.folder());
        f.openOrDie();
        F_Itiran screen(f.services());
        screen.Form_Load();
        showAndSettle(&screen);
        keep(&screen, QStringLiteral("list-screen"));
        expectNone(clippedCaptions(&screen));
        expectNone(touchingFrames(&screen,
            { { QStringLiteral("Shape_0"), QStringLiteral("Command3") },
                { QStringLiteral("Shape_1"), QStringLiteral("Command2") },
                { QStringLiteral("Shape_2"), QStringLiteral("Command1") } }));
    }

    // Narrowed and sorted, one line selected and the focus two lines below
    // it: the header says what narrows the list, the focused line is framed.
    void listScreenFoundAndSorted()
    {
        TestDatabase db;
        for (int i = 1; i <= 30; ++i) {
            PropertyRecord r = TestDatabase::distinctRecord(QString::number(i));
            r[kSyozaiIndex]
                = (i % 3 ? QStringLiteral("千葉県船橋市本町%1丁目") : QStringLiteral("千葉県市川市八幡%1丁目")).arg(i);
            db.insert(r);
        }
        ScreenFixture f(db.folder());
        f.openOrDie();
        F_Itiran screen(f.services());
        screen.Form_Load();
        showAndSettle(&screen);
        QtGrid& grid = screen.grid();
        grid.setFindText(QStringLiteral("船橋"));
        grid.setOrder(QtGrid::Order::Descending);
        screen.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_Down);
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ControlModifier);
        QTest::qWait(50);
        keep(&screen, QStringLiteral("list-screen-found-sorted"));
        expectNone(clippedCaptions(&screen));
        QCOMPARE(grid.cellText(0, 1), QStringLiteral("物件所在地（絞り込み：船橋）"));
        // The header's text fits its column.
        QHeaderView* header = grid.horizontalHeader();
        QVERIFY(header->fontMetrics().horizontalAdvance(grid.cellText(0, 1)) < header->sectionSize(1));
    }

    void findBox()
    {
        RecordingInputMethod inputMethod;
        FindBox box(QStringLiteral("船橋"), inputMethod);
        showAndSettle(&box);
        keep(&box, QStringLiteral("find-box"));
        expectNone(clippedCaptions(&box));
    }

    void deletedPropertiesWindow()
    {
        TestDatabase db;
        ScreenFixture f(db.folder());
        f.openOrDie();
        std::vector<DeletedProperty> kept;
        const QDateTime last(QDate(2026, 4, 1), QTime(15, 42));
        for (int i = 0; i < 12; ++i)
            kept.push_back({ QString::number(100 - i), i < 2 ? last : last.addDays(-i),
                QStringLiteral("千葉県船橋市本町%1丁目%2番").arg(i + 1).arg(i * 3 + 1),
                i == 3 ? std::nullopt : std::optional<QString>(QStringLiteral("%1万円").arg(1980 + i * 100)) });
        F_Sakuzyo window(f.services(), kept);
        showAndSettle(&window);
        keep(&window, QStringLiteral("deleted-properties"));
        expectNone(clippedCaptions(&window));
    }
};

QTEST_MAIN(TestScreenScale)
#include "TestScreenScale.moc"
