#include "app/QtJapanese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>

namespace {
Q_LOGGING_CATEGORY(lcTexts, "fudousan.texts", QtWarningMsg)
} // namespace

bool installQtJapanese(QCoreApplication& app, const QString& folder)
{
    const QString from = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto* translator = new QTranslator(&app);
    // qtbase_ja_JP.qm, else qtbase_ja.qm.
    if (!translator->load(
            QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"), from)) {
        qCWarning(lcTexts) << "no Japanese translation of Qt in" << from << "- Qt's own texts stay English";
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}
