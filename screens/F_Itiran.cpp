#include "screens/F_Itiran.h"

#include "screens/ScreenKit.h"

F_Itiran::F_Itiran(ScreenServices services, QWidget* parent)
    : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("F_Itiran"));
    setUpScreenWindow(this);
}

void F_Itiran::openFromMenu(ScreenServices services)
{
    F_Itiran screen(services);
    screen.exec();
}
