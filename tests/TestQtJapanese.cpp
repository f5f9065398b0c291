// Qt's own texts in Japanese in an environment that names no language (the
// tests run with LC_ALL=C.UTF-8): the map dialog, the PDF save dialog and its
// replace question; and a run without Qt's translations.
#include "app/QtJapanese.h"
#include "platform/desktop/QtFileOpenDialog.h"
#include "platform/desktop/QtSaveFileDialog.h"
#include "screens/F_Tyukai.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TestDatabase.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

namespace {

QStringList buttonTexts(QWidget* window)
{
    QStringList texts;
    for (QDialogButtonBox* box : window->findChildren<QDialogButtonBox*>()) {
        for (QAbstractButton* button : box->buttons())
            texts << button->text();
    }
    return texts;
}

// The names the dialog lists in its folder, once it has read it.
QStringList listedNames(QFileDialog* dialog, int atLeast)
{
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    if (!view)
        return {};
    QStringList names;
    (void)QTest::qWaitFor(
        [&] {
            names.clear();
            const QAbstractItemModel* model = view->model();
            for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
                names << model->index(row, 0, view->rootIndex()).data().toString();
            return names.size() >= atLeast;
        },
        5000);
    QTest::qWait(200); // a late entry would show up now
    names.clear();
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
        names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    names.sort();
    return names;
}

void touch(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("x");
}

} // namespace

class TestQtJapanese : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!QByteArray(std::setlocale(LC_MESSAGES, nullptr)).startsWith("ja"),
            "this test wants an environment whose messages are not Japanese");
    }

    // Runs first, before any translation is installed.
    void withoutTranslationsQtStaysEnglishAndNothingFails()
    {
        QTemporaryDir empty;
        QVERIFY(!installQtJapanese(*qApp, empty.path()));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    }

    void theMapDialogSpeaksJapaneseAndListsEveryPicture()
    {
        QVERIFY2(installQtJapanese(*qApp), "Qt's Japanese texts are missing: install qt6-translations-l10n");

        QTemporaryDir folder;
        const QStringList pictures = { "MAP.PNG", "地図.Jpeg", "web.WebP", "phone.HEIC", "extract.pdf", "scan.TIF",
            "old.bmp", "photo.jpe", "anim.Gif", "iphone.heif", "fax.tiff", "shot.JPG" };
        for (const QString& name : pictures)
            touch(folder.filePath(name));
        for (const char* other : { "notes.txt", "map.svg", "map.png.bak" })
            touch(folder.filePath(QLatin1String(other)));
        const QString before = QDir::currentPath();
        QDir::setCurrent(folder.path()); // the dialog names no start folder: it opens here
        const auto back = qScopeGuard([&] { QDir::setCurrent(before); });

        // The filter the entry screen gives its dialog.
        TestDatabase db;
        ScreenFixture f(db.folder());
        F_Tyukai screen(f.services());
        QtFileOpenDialog dialog;
        dialog.setFilter(f.fileDialog.filter);
        dialog.setCancelError(true);

        bool ownDialog = false;
        QString selectedFilter, lookIn;
        QStringList buttons, listed, nameFilters;
        whenModal<QFileDialog>([&](QFileDialog* shown) {
            ownDialog = shown->testOption(QFileDialog::DontUseNativeDialog);
            selectedFilter = shown->selectedNameFilter();
            nameFilters = shown->nameFilters();
            buttons = buttonTexts(shown);
            if (auto* label = shown->findChild<QLabel*>(QStringLiteral("lookInLabel")))
                lookIn = label->text();
            listed = listedNames(shown, pictures.size());
            shown->reject();
        });
        QVERIFY_THROWS_EXCEPTION(DialogCancelled, dialog.showOpen());

        QVERIFY(ownDialog);
        const QStringList expectedFilters = {
            QStringLiteral("地図画像 (*.png *.jpg *.jpeg *.jpe *.bmp *.gif *.webp *.tif *.tiff *.heic *.heif *.pdf)"),
            QStringLiteral("ビットマップイメージ(*.bmp) (*.bmp)"), QStringLiteral("GIF(*.gif) (*.gif)"),
            QStringLiteral("JPG(*.JPG,*JPE) (*.jpg)")
        };
        QCOMPARE(nameFilters, expectedFilters);
        QCOMPARE(selectedFilter, expectedFilters.first());
        QCOMPARE(buttons, QStringList({ QStringLiteral("開く(&O)"), QStringLiteral("キャンセル") }));
        QCOMPARE(lookIn, QStringLiteral("アドレス:"));
        QStringList expected = pictures;
        expected.sort();
        QCOMPARE(listed, expected);
    }

    void theSaveDialogAndItsReplaceQuestionSpeakJapanese()
    {
        QVERIFY(installQtJapanese(*qApp));
        QTemporaryDir folder;
        const QString existing = folder.filePath(QStringLiteral("No.1_浦安市.pdf"));
        touch(existing);

        QStringList saveButtons, questionButtons;
        QString question;
        whenModal<QFileDialog>([&](QFileDialog* shown) {
            saveButtons = buttonTexts(shown);
            whenModal<QMessageBox>([&](QMessageBox* box) {
                question = box->text();
                for (QAbstractButton* button : box->buttons())
                    questionButtons << button->text();
                box->button(QMessageBox::No)->click();
            });
            // The offered name exists: the question comes first.
            shown->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
            shown->reject();
        });
        QtSaveFileDialog dialog;
        const QString chosen
            = dialog.askSavePath(QStringLiteral("PDFとして保存"), existing, QStringLiteral("PDFファイル"), "pdf");

        QCOMPARE(chosen, QString()); // not replaced, then cancelled
        QCOMPARE(saveButtons, QStringList({ QStringLiteral("保存(&S)"), QStringLiteral("キャンセル") }));
        QVERIFY2(
            question.contains(QStringLiteral("既に存在します")) && question.contains(QStringLiteral("置き換えますか")),
            qPrintable(question));
        questionButtons.sort();
        QCOMPARE(questionButtons, QStringList({ QStringLiteral("いいえ(&N)"), QStringLiteral("はい(&Y)") }));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestQtJapanese test;
    return QTest::qExec(&test, argc, argv);
}
#include "TestQtJapanese.moc"
