#include "screens/F_Tyukai.h"

#include "screens/ScreenKit.h"

#include <QLineEdit>

F_Tyukai::F_Tyukai(ScreenServices services, QWidget* parent)
    : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("F_Tyukai"));
    setUpScreenWindow(this);
    for (int i = 0; i < 28; ++i) {
        m_tbox[i] = new QLineEdit(this);
        m_tbox[i]->setObjectName(QStringLiteral("Tbox_%1").arg(i));
    }
}

void F_Tyukai::openFromMenu(ScreenServices services)
{
    F_Tyukai screen(services);
    screen.exec();
}

QString F_Tyukai::boxText(int index) const
{
    return m_tbox[index]->text();
}

void F_Tyukai::setBoxText(int index, const QString& text)
{
    m_tbox[index]->setText(text);
}
