#pragma once

#include <QString>

class QCoreApplication;

// Qt's own texts (the file dialogs, their buttons and the questions they ask,
// the boxes' context menus) in Japanese, whatever language the environment
// names: every text of the program's own is Japanese, so Qt's must be too.
//
// Installs Qt's Japanese translations (qtbase_ja.qm, Debian's
// qt6-translations-l10n) from `folder`, Qt's own translations folder when
// empty, into `app`. Returns false and changes nothing where there are none:
// Qt then speaks English and the program runs as before.
bool installQtJapanese(QCoreApplication& app, const QString& folder = QString());
