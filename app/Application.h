#pragma once

#include <functional>

class QWidget;

// Builds the real platform services, the property store and the main menu,
// starts the menu and runs the event loop until the run ends.
// `onMenuShown`, when given, is called once the menu is first shown (the
// start-up benchmark uses it to measure and leave).
int runApplication(int& argc, char** argv, const std::function<void(QWidget* menu)>& onMenuShown = {});
