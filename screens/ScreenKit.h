#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

// The building blocks shared by the three screens. Every position is in twips
// (screens/Twips.h); object names follow the control names of the layouts,
// with a control array's index after an underscore ("Command1_0").

// Title and client area shared by every screen.
inline const QString kWindowTitle = QStringLiteral("Quintaveli");
constexpr int kClientWidthTwips = 15240;
constexpr int kClientHeightTwips = 11010;

// Gives `window` the shared title, icon and fixed client area.
void setUpScreenWindow(QWidget* window);

// The application's 32 x 32 icon, drawn once.
const class QIcon& applicationIcon();

// A font of `family` at `points`.
QFont screenFont(const QString& family, double points, bool bold = false);

// A raised command button whose face is painted in `face`, caption centred.
QPushButton* makeFaceButton(QWidget* parent, const QString& objectName, const QString& text, int left, int top,
    int width, int height, const QFont& font, const QColor& face);

// A label that takes no focus.
QLabel* makeLabel(QWidget* parent, const QString& objectName, const QString& text, int left, int top, int width,
    int height, const QFont& font, bool centred = false);

// A rectangle outline (thin black line, no fill) that lets clicks through.
// Create shapes before the controls they frame, so they lie beneath them.
QFrame* makeShape(QWidget* parent, const QString& objectName, int left, int top, int width, int height);
