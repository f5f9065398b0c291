#pragma once

#include "screens/ScreenServices.h"

#include <QString>

class QWidget;

// The sections of the guide (anchors of its index.html) that F1 opens, one
// per screen.
inline const QString kGuideMainMenu = QStringLiteral("main-menu");
inline const QString kGuideEntryScreen = QStringLiteral("entry-screen");
inline const QString kGuideListScreen = QStringLiteral("list-screen");

// F1 anywhere in `screen` opens the guide at `section` (openGuide). Adds no
// control: the screen's layout and tab order stay as they are.
void addGuideKey(QWidget* screen, const ScreenServices& services, const QString& section);

// Opens the guide's page for `section` in the desktop's browser, or says in a
// message that the guide is missing (naming where it was looked for) or that
// no browser took it (naming the page, to open by hand).
void openGuide(const ScreenServices& services, const QString& section);
