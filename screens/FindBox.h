#pragma once

#include <QDialog>

class InputMethod;
class QLineEdit;

// The list's find box: one line for the text that narrows the list to the
// properties whose location contains it. Enter applies the text (an empty
// one shows every line again); Escape closes the box, and the list then
// shows every line. The input method comes on in hiragana when the line
// gets the focus.
class FindBox : public QDialog
{
    Q_OBJECT

public:
    FindBox(const QString& text, InputMethod& inputMethod, QWidget* parent = nullptr);

    // The text as typed, without the blanks at either end.
    QString text() const;

    QLineEdit& line() { return *m_line; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    InputMethod& m_inputMethod;
    QLineEdit* m_line;
};
