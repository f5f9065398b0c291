#pragma once

#include "platform/UserGuide.h"

// The guide beside the executable (guide/ in a portable folder, the build's
// bin/ included), else where the package installs it
// (/usr/share/doc/fudousan/guide, found from the executable's folder so that
// an unpacked copy of the installation behaves as the installed one); opened
// with QDesktopServices.
class QtUserGuide : public UserGuide
{
public:
    // `applicationDirectory` is the executable's folder.
    explicit QtUserGuide(QString applicationDirectory);

    QString page(const QString& section) const override;
    QStringList places() const override;
    bool openInBrowser(const QUrl& url) override;

private:
    QString m_applicationDirectory;
};
