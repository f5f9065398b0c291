#include "screens/ScreenKit.h"

#include "screens/Twips.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>

#include <cmath>

namespace {

// Fusion paints a button's face in its palette's Button colour on every
// platform; the desktop's own style may ignore it.
QStyle* faceButtonStyle()
{
    static QStyle* style = [] {
        QStyle* s = QStyleFactory::create(QStringLiteral("Fusion"));
        s->setParent(qApp);
        return s;
    }();
    return style;
}

} // namespace

const QIcon& applicationIcon()
{
    static const QIcon icon = [] {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        // A small house on green ground: the office sells land.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 160, 60));
        p.drawRect(0, 24, 32, 8);
        p.setBrush(QColor(230, 230, 230));
        p.drawRect(8, 14, 16, 12);
        p.setBrush(QColor(200, 40, 40));
        QPainterPath roof;
        roof.moveTo(4, 15);
        roof.lineTo(16, 4);
        roof.lineTo(28, 15);
        roof.closeSubpath();
        p.drawPath(roof);
        p.setBrush(QColor(90, 90, 90));
        p.drawRect(14, 19, 5, 7);
        return QIcon(pixmap);
    }();
    return icon;
}

void setUpScreenWindow(QWidget* window)
{
    window->setWindowTitle(kWindowTitle);
    window->setWindowIcon(applicationIcon());
    window->setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
}

QFont screenFont(const QString& family, double points, bool bold)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QPushButton* makeFaceButton(QWidget* parent, const QString& objectName, const QString& text, int left, int top,
    int width, int height, const QFont& font, const QColor& face)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setStyle(faceButtonStyle());
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, face);
    palette.setColor(QPalette::ButtonText, Qt::black);
    button->setPalette(palette);
    button->setAutoFillBackground(false);
    button->setFont(font);
    button->setGeometry(twipsRect(left, top, width, height));
    return button;
}

QLabel* makeLabel(QWidget* parent, const QString& objectName, const QString& text, int left, int top, int width,
    int height, const QFont& font, bool centred)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setFont(font);
    label->setAlignment(centred ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    // The layouts' heights fit the Windows faces; the substitutes reach a
    // pixel or more above or below them (a "Q" tail, the tops of kanji),
    // which a widget would cut off. The label grows by that much and keeps
    // the text where the layout puts it, inside its margins; it lets clicks
    // through to what it may now overlap.
    const QRect place = twipsRect(left, top, width, height);
    const QFontMetricsF metrics(font);
    const QRectF ink = metrics.tightBoundingRect(text).translated(0, metrics.ascent());
    const int above = ink.top() < 0 ? int(std::ceil(-ink.top())) + 1 : 0;
    const int below = ink.bottom() > place.height() ? int(std::ceil(ink.bottom() - place.height())) + 1 : 0;
    label->setGeometry(place.adjusted(0, -above, 0, below));
    label->setContentsMargins(0, above, 0, below);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QFrame* makeShape(QWidget* parent, const QString& objectName, int left, int top, int width, int height)
{
    auto* shape = new QFrame(parent);
    shape->setObjectName(objectName);
    shape->setFrameShape(QFrame::Box);
    shape->setFrameShadow(QFrame::Plain);
    shape->setLineWidth(1);
    QPalette palette = shape->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    shape->setPalette(palette);
    shape->setAttribute(Qt::WA_TransparentForMouseEvents);
    shape->setFocusPolicy(Qt::NoFocus);
    shape->setGeometry(twipsRect(left, top, width, height));
    return shape;
}
