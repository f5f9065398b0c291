#include "screens/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

double screenDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

int twipsToPixels(int twips)
{
    return int(std::lround(twips * screenDpi() / 1440.0));
}

QRect twipsRect(int left, int top, int width, int height)
{
    const int x = twipsToPixels(left);
    const int y = twipsToPixels(top);
    return QRect(x, y, twipsToPixels(left + width) - x, twipsToPixels(top + height) - y);
}
