#pragma once

#include "screens/ScreenServices.h"

#include <QDialog>

// The property entry screen.
class F_Tyukai : public QDialog
{
    Q_OBJECT

public:
    explicit F_Tyukai(ScreenServices services, QWidget* parent = nullptr);

    // Creates a new entry screen, shows it modally and destroys it when it
    // closes.
    static void openFromMenu(ScreenServices services);

private:
    ScreenServices m_services;
};
