#pragma once

#include "platform/UserGuide.h"

#include <QHash>
#include <QList>

// A guide whose page is set by the test (empty: no guide found), and that
// keeps every section asked for and every address handed to the browser.
class RecordingUserGuide : public UserGuide
{
public:
    QString page(const QString& section) const override
    {
        asked.append(section);
        return pages.value(section, fallbackPage);
    }
    QStringList places() const override { return lookedIn; }
    bool openInBrowser(const QUrl& url) override
    {
        opened.append(url);
        return browserTakesIt;
    }

    QHash<QString, QString> pages; // section -> page
    QString fallbackPage; // for any other section; empty: no guide
    QStringList lookedIn;
    bool browserTakesIt = true;
    mutable QStringList asked;
    QList<QUrl> opened;
};
