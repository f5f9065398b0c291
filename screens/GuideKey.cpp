#include "screens/GuideKey.h"

#include "platform/MessageBox.h"
#include "platform/UserGuide.h"
#include "screens/FailureBoundary.h"

#include <QDir>
#include <QShortcut>
#include <QUrl>
#include <QWidget>

void addGuideKey(QWidget* screen, const ScreenServices& services, const QString& section)
{
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), screen);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, screen,
        [services, section] { runHandler(services.messages, [&] { openGuide(services, section); }); });
}

void openGuide(const ScreenServices& services, const QString& section)
{
    const QString page = services.guide ? services.guide->page(section) : QString();
    if (page.isEmpty()) {
        QStringList places = services.guide ? services.guide->places() : QStringList();
        for (QString& place : places)
            place = QDir::toNativeSeparators(place);
        services.messages.show(QStringLiteral("利用の手引きが見つかりません。"
                                              "\n次のフォルダーに index.html がありません。\n%1")
                                   .arg(places.join(QLatin1Char('\n'))),
            MB_Information, kMessageTitle);
        return;
    }
    if (!services.guide->openInBrowser(QUrl::fromLocalFile(page))) {
        services.messages.show(
            QStringLiteral("利用の手引きを開けませんでした。ブラウザーが設定されていない可能性があります。"
                           "\n手引きのファイル: %1")
                .arg(QDir::toNativeSeparators(page)),
            MB_Information, kMessageTitle);
    }
}
