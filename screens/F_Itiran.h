#pragma once

#include "screens/ScreenServices.h"

#include <QDialog>

// The property list screen.
class F_Itiran : public QDialog
{
    Q_OBJECT

public:
    explicit F_Itiran(ScreenServices services, QWidget* parent = nullptr);

    // Creates a new list screen, shows it modally and destroys it when it
    // closes.
    static void openFromMenu(ScreenServices services);

private:
    ScreenServices m_services;
};
