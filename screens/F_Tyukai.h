#pragma once

#include "model/EntryView.h"
#include "screens/ScreenServices.h"

#include <QDialog>

#include <functional>
#include <memory>

class PictureBox;
class Printer;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

// The property entry screen. Its boxes and picture are the working copy of
// the property: saving and the flyer read them, loading writes them. The
// screen keeps no other copy of the values.
//
// Whoever creates the screen destroys it once exec() has returned; every
// opening therefore starts from a new screen with empty boxes, no picture and
// no map path.
class F_Tyukai : public QDialog, public EntryEditor
{
    Q_OBJECT

public:
    explicit F_Tyukai(ScreenServices services, QWidget* parent = nullptr);

    // Creates a new entry screen, shows it modally and destroys it when it
    // closes.
    static void openFromMenu(ScreenServices services);

    QString boxText(int index) const override;
    QImage picture() const override;
    void setBoxText(int index, const QString& text) override;
    void setPicture(const QImage& picture) override;
    void setMapNotice(const QString& notice) override;

    // The load handler, run once by the constructor: sets up the map file
    // dialog and empties the store's map path, since the new screen holds no
    // map yet.
    void Form_Load();

    // 0 prints, 1 registers, 2 goes back, 3 shows a map picture; any other
    // index does nothing. Each runs inside the screen's failure boundary.
    void Command1_Click(int index);

    // The menu of 印刷 (right click, or the context-menu key on it): 0 shows
    // the flyer in a preview window, 1 saves it as a PDF file, 2 opens
    // 「プリンターの設定」; any other index does nothing. Each runs inside the
    // screen's failure boundary.
    void PrintMenu_Click(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The parts of the screen, in the order they are stacked.
    void makeFrames();
    void makeBoxes();
    void makeCaptions();
    void makeButtons();
    void makePicture();
    void makeNotice();
    void setTabOrderAndFocus();
    void makePrintMenu(); // the menu of 印刷

    bool locationEntered();
    void printProperty();
    void printPropertyOn(const std::function<std::unique_ptr<Printer>()>& openPrinter);
    void previewFlyer();
    void saveFlyerAsPdf();
    void choosePrinter();
    void registerProperty();
    void showMap();
    // Fills the 坪 box beside ㎡ box `squareMetresBox` (3 or 5) when it is
    // empty and the ㎡ box holds a number.
    void fillTsuboFrom(int squareMetresBox);

    ScreenServices m_services;
    QLineEdit* m_tbox[28] = {};
    QPushButton* m_command1[4] = {};
    PictureBox* m_picture1 = nullptr;
    QLabel* m_ssPanel = nullptr;
    QMenu* m_printMenu = nullptr;
};
