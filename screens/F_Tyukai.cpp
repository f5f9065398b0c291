#include "screens/F_Tyukai.h"

#include "screens/ScreenKit.h"

F_Tyukai::F_Tyukai(ScreenServices services, QWidget* parent)
    : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("F_Tyukai"));
    setUpScreenWindow(this);
}

void F_Tyukai::openFromMenu(ScreenServices services)
{
    F_Tyukai screen(services);
    screen.exec();
}
