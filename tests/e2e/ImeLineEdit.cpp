// A bare line edit for the Japanese input test: what Mozc makes of a key
// sequence outside the program. Each Return prints the line and empties it.
#include <QApplication>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("ime-line-edit"));
    edit.resize(400, 40);
    QObject::connect(&edit, &QLineEdit::returnPressed, [&edit] {
        std::printf("%s\n", edit.text().toUtf8().constData());
        std::fflush(stdout);
        edit.clear();
    });
    edit.show();
    return app.exec();
}
