#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// The agents' guide (利用の手引き): HTML pages made from docs/ja/guide.md when
// the program is built, kept in a folder of their own: index.html, the
// screens' pictures, and one small page per screen that leads to the screen's
// section of index.html (a browser keeps a section that way even where the
// desktop's launcher drops the "#section" of a file's address).
class UserGuide
{
public:
    virtual ~UserGuide() = default;

    // The page of the guide that leads to `section` (an anchor of index.html),
    // else index.html itself; empty when no guide is found.
    virtual QString page(const QString& section) const = 0;

    // The folders the guide is looked for in, in order (for saying where it
    // is missing).
    virtual QStringList places() const = 0;

    // Hands `url` to the desktop's browser; false when nothing took it.
    virtual bool openInBrowser(const QUrl& url) = 0;
};
