// The agents' guide (docs/ja/guide.md): F1 on each screen opens its section,
// the guide is found beside the executable or where the package puts it, the
// built pages lead every screen to an anchor that exists, and every message
// the program can show has its row in the guide's table of messages.
#include "tests/support/AppFixture.h"
#include "tests/support/TestDatabase.h"

#include "platform/Fonts.h"
#include "platform/desktop/QtUserGuide.h"
#include "screens/F_Itiran.h"
#include "screens/F_Main.h"
#include "screens/F_Tyukai.h"
#include "screens/GuideKey.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// --- The program's messages, read from its sources ---------------------------

// One string literal of a source file (adjacent literals joined, escapes
// decoded), or another token.
struct Token
{
    enum Kind { Literal, Identifier, Punctuation } kind;
    QString text;
    int line;
};

// The tokens of C++ source `code`: comments dropped, string and character
// literals read as the compiler reads them.
QList<Token> tokenize(const QString& code)
{
    QList<Token> tokens;
    int line = 1;
    const int n = int(code.size());
    auto decode = [](const QString& body) {
        QString text;
        for (int i = 0; i < body.size(); ++i) {
            if (body[i] != QLatin1Char('\\') || i + 1 == body.size()) {
                text += body[i];
                continue;
            }
            const QChar c = body[++i];
            if (c == QLatin1Char('n'))
                text += QLatin1Char('\n');
            else if (c == QLatin1Char('t'))
                text += QLatin1Char('\t');
            else if (c == QLatin1Char('u') && i + 4 < body.size()) {
                text += QChar(char16_t(body.mid(i + 1, 4).toUShort(nullptr, 16)));
                i += 4;
            } else
                text += c; // \\ \" \' and the rest: the character itself
        }
        return text;
    };
    for (int i = 0; i < n;) {
        const QChar c = code[i];
        if (c == QLatin1Char('\n')) {
            ++line;
            ++i;
        } else if (c.isSpace()) {
            ++i;
        } else if (code.mid(i, 2) == QLatin1String("//")) {
            while (i < n && code[i] != QLatin1Char('\n'))
                ++i;
        } else if (code.mid(i, 2) == QLatin1String("/*")) {
            const int end = code.indexOf(QLatin1String("*/"), i + 2);
            const int stop = end < 0 ? n : end + 2;
            line += int(code.mid(i, stop - i).count(QLatin1Char('\n')));
            i = stop;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            int j = i + 1;
            while (j < n && code[j] != c) {
                if (code[j] == QLatin1Char('\\'))
                    ++j;
                ++j;
            }
            const QString body = code.mid(i + 1, j - i - 1);
            if (c == QLatin1Char('"')) {
                // "a" "b" is one literal.
                if (!tokens.isEmpty() && tokens.last().kind == Token::Literal)
                    tokens.last().text += decode(body);
                else
                    tokens.append({ Token::Literal, decode(body), line });
            } else {
                tokens.append({ Token::Punctuation, QStringLiteral("'char'"), line });
            }
            i = j + 1;
        } else if (c.isLetterOrNumber() || c == QLatin1Char('_')) {
            int j = i;
            while (j < n && (code[j].isLetterOrNumber() || code[j] == QLatin1Char('_')))
                ++j;
            const QString word = code.mid(i, j - i);
            if (j < n && code[j] == QLatin1Char('"') && word == QLatin1String("R")) {
                // R"delimiter( ... )delimiter"
                const int open = code.indexOf(QLatin1Char('('), j);
                const QString close = QLatin1Char(')') + code.mid(j + 1, open - j - 1) + QLatin1Char('"');
                const int end = code.indexOf(close, open);
                tokens.append({ Token::Literal, code.mid(open + 1, end - open - 1), line });
                line += int(code.mid(i, end - i).count(QLatin1Char('\n')));
                i = end + int(close.size());
                continue;
            }
            // The prefixes of u"..", u8"..", U"..", L"..": the literal follows.
            const bool prefix = j < n && code[j] == QLatin1Char('"')
                && (word == QLatin1String("u") || word == QLatin1String("u8") || word == QLatin1String("U")
                    || word == QLatin1String("L"));
            if (!prefix)
                tokens.append({ Token::Identifier, word, line });
            i = j;
        } else {
            static const QStringList pairs { QStringLiteral("::"), QStringLiteral("->"), QStringLiteral("+="),
                QStringLiteral("=="), QStringLiteral("!="), QStringLiteral("<="), QStringLiteral(">="),
                QStringLiteral("&&"), QStringLiteral("||") };
            const QString two = code.mid(i, 2);
            if (pairs.contains(two)) {
                tokens.append({ Token::Punctuation, two, line });
                i += 2;
            } else {
                tokens.append({ Token::Punctuation, QString(c), line });
                ++i;
            }
        }
    }
    return tokens;
}

// Whether `text` holds Japanese: kana or kanji (punctuation alone is none).
bool isJapanese(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3040 && u <= 0x30ff) || (u >= 0x3400 && u <= 0x9fff) || (u >= 0xff66 && u <= 0xff9f))
            return true;
    }
    return false;
}

struct Message
{
    QString text;
    QString where; // file:line
};

// The sources' messages: every Japanese string literal that is handed to a
// message box (show, ask), to a PlatformError, or to a function of the same
// file that hands its argument on to one of them, directly or through a
// named value (kSomething = QStringLiteral(...), used in such a call); and
// every Japanese literal holding a sentence (。 or ？), wherever it goes.
class MessageCollector
{
public:
    void addSource(const QString& name, const QString& code)
    {
        const QList<Token> tokens = tokenize(code);
        m_files.append({ name, tokens });
        // Named values, over every file (a header's constant is used in
        // another file).
        for (int i = 0; i + 1 < tokens.size(); ++i) {
            if (tokens[i].kind != Token::Identifier
                || (tokens[i + 1].text != QLatin1String("=") && tokens[i + 1].text != QLatin1String("+=")))
                continue;
            for (int j = i + 2; j < tokens.size() && tokens[j].text != QLatin1String(";"); ++j) {
                if (tokens[j].kind == Token::Literal)
                    m_named[tokens[i].text].append(
                        { tokens[j].text, name + QLatin1Char(':') + QString::number(tokens[j].line) });
            }
        }
    }

    QList<Message> messages() const
    {
        QList<Message> found;
        QSet<QString> seen;
        auto add = [&](const Message& m) {
            if (isJapanese(m.text) && !seen.contains(m.text)) {
                seen.insert(m.text);
                found.append(m);
            }
        };
        static const QRegularExpression sentence(QStringLiteral("[。？]"));
        for (const auto& [name, tokens] : m_files) {
            const QSet<QString> callees = messageCallees(tokens);
            for (int i = 0; i + 1 < tokens.size(); ++i) {
                const Token& t = tokens[i];
                const QString where = name + QLatin1Char(':') + QString::number(t.line);
                if (t.kind == Token::Literal && t.text.contains(sentence))
                    add({ t.text, where });
                if (t.kind != Token::Identifier || !callees.contains(t.text)
                    || tokens[i + 1].text != QLatin1String("("))
                    continue;
                const int end = closing(tokens, i + 1);
                for (int j = i + 2; j < end; ++j) {
                    if (tokens[j].kind == Token::Literal)
                        add({ tokens[j].text, name + QLatin1Char(':') + QString::number(tokens[j].line) });
                    else if (tokens[j].kind == Token::Identifier)
                        for (const Message& m : m_named.value(tokens[j].text))
                            add(m);
                }
            }
        }
        return found;
    }

private:
    static int closing(const QList<Token>& tokens, int open)
    {
        int depth = 0;
        for (int j = open; j < tokens.size(); ++j) {
            if (tokens[j].text == QLatin1String("("))
                ++depth;
            else if (tokens[j].text == QLatin1String(")") && --depth == 0)
                return j;
        }
        return int(tokens.size());
    }

    static int opening(const QList<Token>& tokens, int close, const QString& open, const QString& shut)
    {
        int depth = 0;
        for (int j = close; j >= 0; --j) {
            if (tokens[j].text == shut)
                ++depth;
            else if (tokens[j].text == open && --depth == 0)
                return j;
        }
        return -1;
    }

    // The name of the function or the named lambda whose body the block
    // opened at `brace` is; empty for any other block (if, a class, a lambda
    // handed on at once).
    static QString ownerOf(const QList<Token>& tokens, int brace, bool* isBlock)
    {
        static const QSet<QString> qualifiers { QStringLiteral("const"), QStringLiteral("override"),
            QStringLiteral("noexcept"), QStringLiteral("final"), QStringLiteral("mutable") };
        static const QSet<QString> statements { QStringLiteral("if"), QStringLiteral("for"), QStringLiteral("while"),
            QStringLiteral("switch"), QStringLiteral("catch"), QStringLiteral("else"), QStringLiteral("do"),
            QStringLiteral("try") };
        int j = brace - 1;
        while (j >= 0 && qualifiers.contains(tokens[j].text))
            --j;
        *isBlock = j >= 0
            && (statements.contains(tokens[j].text) || tokens[j].text == QLatin1String("{")
                || tokens[j].text == QLatin1String("}") || tokens[j].text == QLatin1String(";"));
        if (j < 0 || *isBlock)
            return QString();
        if (tokens[j].text == QLatin1String(")")) {
            const int open = opening(tokens, j, QStringLiteral("("), QStringLiteral(")"));
            if (open <= 0)
                return QString();
            const Token& before = tokens[open - 1];
            if (statements.contains(before.text)) {
                *isBlock = true;
                return QString();
            }
            if (before.kind == Token::Identifier)
                return before.text;
            j = before.text == QLatin1String("]") ? open - 1 : -1;
        }
        if (j >= 0 && tokens[j].text == QLatin1String("]")) {
            // auto name = [captures](parameters) { ... }
            const int open = opening(tokens, j, QStringLiteral("["), QStringLiteral("]"));
            if (open >= 2 && tokens[open - 1].text == QLatin1String("=") && tokens[open - 2].kind == Token::Identifier)
                return tokens[open - 2].text;
        }
        return QString();
    }

    // show, ask, PlatformError (and its kinds), and the functions and named
    // lambdas of this file whose bodies call one of them.
    static QSet<QString> messageCallees(const QList<Token>& tokens)
    {
        const QSet<QString> direct { QStringLiteral("show"), QStringLiteral("ask"), QStringLiteral("PlatformError"),
            QStringLiteral("PictureError") };
        QSet<QString> callees = direct;
        QList<int> blocks;
        for (int i = 0; i < tokens.size(); ++i) {
            if (tokens[i].text == QLatin1String("{")) {
                blocks.append(i);
            } else if (tokens[i].text == QLatin1String("}")) {
                if (!blocks.isEmpty())
                    blocks.removeLast();
            } else if (tokens[i].kind == Token::Identifier && direct.contains(tokens[i].text)) {
                // The innermost block that is a function's body names the
                // helper; a plain block ({ ... } of an if) looks further out.
                for (int b = int(blocks.size()) - 1; b >= 0; --b) {
                    bool isBlock = false;
                    const QString owner = ownerOf(tokens, blocks[b], &isBlock);
                    if (!owner.isEmpty())
                        callees.insert(owner);
                    if (!isBlock)
                        break;
                }
            }
        }
        return callees;
    }

    QList<QPair<QString, QList<Token>>> m_files;
    QHash<QString, QList<Message>> m_named;
};

// Every message of the program's sources.
QList<Message> programMessages()
{
    MessageCollector collector;
    const QDir root(QStringLiteral(FUDOUSAN_SOURCE_DIR));
    for (const char* folder : { "screens", "store", "conversion", "flyer", "platform", "app" }) {
        QDirIterator files(root.filePath(QString::fromLatin1(folder)),
            { QStringLiteral("*.cpp"), QStringLiteral("*.h") }, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(file.fileName()));
            collector.addSource(root.relativeFilePath(file.fileName()), QString::fromUtf8(file.readAll()));
        }
    }
    return collector.messages();
}

// The fixed parts of `message`, in order: its text split at the %1-style
// places and at line breaks, blanks around each part dropped.
QStringList fixedParts(const QString& message)
{
    static const QRegularExpression places(QStringLiteral("%\\d+|\\n"));
    QStringList parts;
    for (const QString& part : message.split(places)) {
        if (!part.trimmed().isEmpty())
            parts << part.trimmed();
    }
    return parts;
}

// Whether `row` holds the fixed parts of `message` in their order.
bool rowHolds(const QString& row, const QString& message)
{
    qsizetype from = 0;
    for (const QString& part : fixedParts(message)) {
        from = row.indexOf(part, from);
        if (from < 0)
            return false;
        from += part.size();
    }
    return true;
}

struct GuideRow
{
    QString message; // the first cell
    QString whole;
    int line;
};

// The rows of the guide's table of messages: the section that starts at the
// anchor "messages", up to the next section of its level.
QList<GuideRow> guideTableRows(const QString& guide)
{
    QList<GuideRow> rows;
    const QStringList lines = guide.split(QLatin1Char('\n'));
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.contains(QLatin1String("<a id=\"messages\"></a>"))) {
            inSection = true;
            continue;
        }
        if (inSection && line.startsWith(QLatin1String("## ")) && !rows.isEmpty())
            break;
        // The table's head, and the rows in bold that head a group of rows.
        if (!inSection || !line.startsWith(QLatin1Char('|')) || line.startsWith(QLatin1String("|---"))
            || line.startsWith(QStringLiteral("| メッセージ")) || line.startsWith(QLatin1String("| **")))
            continue;
        QString cells = line;
        cells.replace(QLatin1String("\\|"), QString(QChar(0x1f)));
        const QStringList split = cells.split(QLatin1Char('|'));
        QString first = split.value(1).trimmed();
        first.replace(QChar(0x1f), QLatin1Char('|'));
        rows.append({ first, line, i + 1 });
    }
    return rows;
}

QString readGuide()
{
    QFile file(QStringLiteral(FUDOUSAN_SOURCE_DIR "/docs/ja/guide.md"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return QString::fromUtf8(file.readAll());
}

// The messages of `messages` that no row of `rows` holds.
QStringList missingFrom(const QList<GuideRow>& rows, const QList<Message>& messages)
{
    QStringList missing;
    for (const Message& m : messages) {
        const bool held
            = std::any_of(rows.begin(), rows.end(), [&](const GuideRow& r) { return rowHolds(r.whole, m.text); });
        if (!held)
            missing << QStringLiteral("%1: %2").arg(m.where, m.text);
    }
    return missing;
}

QString builtGuide()
{
    return QStringLiteral(FUDOUSAN_BIN_DIR "/guide");
}

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
}

} // namespace

class TestGuide : public QObject
{
    Q_OBJECT

private:
    // Presses F1 on the widget with the focus in `screen`, shown and active.
    static void pressF1(QWidget* screen)
    {
        screen->show();
        screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(screen));
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        QTest::keyClick(focus, Qt::Key_F1);
    }

private slots:
    void initTestCase() { registerFontSubstitutions(); }

    // Wherever the focus is, F1 asks for the screen's own section and hands
    // its page to the browser.
    void f1OpensTheSectionOfEachScreen()
    {
        TestDatabase db;
        db.insert(TestDatabase::distinctRecord(QStringLiteral("1")));
        ScreenFixture f(db.folder());
        f.openOrDie();
        f.guide.pages = { { kGuideMainMenu, QStringLiteral("/guide/main-menu.html") },
            { kGuideEntryScreen, QStringLiteral("/guide/entry-screen.html") },
            { kGuideListScreen, QStringLiteral("/guide/list-screen.html") } };

        F_Main menu(f.services());
        pressF1(&menu);
        F_Tyukai entry(f.services());
        pressF1(&entry);
        entry.findChild<QWidget*>(QStringLiteral("Tbox_1"))->setFocus(); // a box takes F1 as well
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        entry.hide();
        F_Itiran list(f.services());
        list.Form_Load();
        pressF1(&list);

        QCOMPARE(
            f.guide.asked, QStringList({ kGuideMainMenu, kGuideEntryScreen, kGuideEntryScreen, kGuideListScreen }));
        QCOMPARE(f.guide.opened,
            QList<QUrl>({ QUrl(QStringLiteral("file:///guide/main-menu.html")),
                QUrl(QStringLiteral("file:///guide/entry-screen.html")),
                QUrl(QStringLiteral("file:///guide/entry-screen.html")),
                QUrl(QStringLiteral("file:///guide/list-screen.html")) }));
        QVERIFY(f.messages.shown.isEmpty());
    }

    // No guide: the message says so and names every folder looked in; a
    // guide no browser takes: the message names the page to open by hand.
    void f1SaysWhyTheGuideDidNotOpen()
    {
        TestDatabase db;
        ScreenFixture f(db.folder());
        f.guide.lookedIn = { QStringLiteral("/opt/a/guide"), QStringLiteral("/usr/share/doc/fudousan/guide") };
        F_Main menu(f.services());
        pressF1(&menu);
        QCOMPARE(f.messages.shown.size(), 1);
        const QString missing = f.messages.shown[0].text;
        QVERIFY2(missing.startsWith(QStringLiteral("利用の手引きが見つかりません。")), qPrintable(missing));
        QVERIFY(missing.contains(QStringLiteral("/opt/a/guide")));
        QVERIFY(missing.contains(QStringLiteral("/usr/share/doc/fudousan/guide")));
        QVERIFY(f.guide.opened.isEmpty());

        f.guide.fallbackPage = QStringLiteral("/opt/a/guide/index.html");
        f.guide.browserTakesIt = false;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QCOMPARE(f.messages.shown.size(), 2);
        const QString notOpened = f.messages.shown[1].text;
        QVERIFY2(notOpened.startsWith(QStringLiteral("利用の手引きを開けませんでした。")), qPrintable(notOpened));
        QVERIFY(notOpened.contains(QStringLiteral("/opt/a/guide/index.html")));
        QCOMPARE(f.messages.shown[1].title, kMessageTitle);
    }

    // A portable folder's guide/ first, then the installation's
    // share/doc/fudousan/guide seen from the executable's folder; a folder
    // without index.html is no guide; an unknown section opens index.html.
    void theGuideIsFoundBesideTheExecutableOrWhereThePackagePutsIt()
    {
        QTemporaryDir dir;
        const QString installed = dir.filePath(QStringLiteral("usr/share/doc/fudousan/guide"));
        const QString bin = dir.filePath(QStringLiteral("usr/bin"));
        QDir().mkpath(bin);
        const QtUserGuide guide(bin);
        QCOMPARE(guide.places(), QStringList({ bin + QStringLiteral("/guide"), installed }));
        QVERIFY(guide.page(kGuideEntryScreen).isEmpty());

        touch(installed + QStringLiteral("/entry-screen.html")); // no index.html yet
        QVERIFY(guide.page(kGuideEntryScreen).isEmpty());
        touch(installed + QStringLiteral("/index.html"));
        QCOMPARE(guide.page(kGuideEntryScreen), installed + QStringLiteral("/entry-screen.html"));
        QCOMPARE(guide.page(kGuideListScreen), installed + QStringLiteral("/index.html"));
        QCOMPARE(guide.page(QStringLiteral("../../etc/passwd")), installed + QStringLiteral("/index.html"));

        touch(bin + QStringLiteral("/guide/index.html"));
        QCOMPARE(guide.page(kGuideEntryScreen), bin + QStringLiteral("/guide/index.html"));
    }

    // The build's guide (bin/guide, what the package installs): each
    // screen's page leads to an anchor that index.html has, and the pictures
    // are the screens at their size.
    void theBuiltGuideLeadsEachScreenToItsSection()
    {
        const QDir guide(builtGuide());
        const QString index = readAll(guide.filePath(QStringLiteral("index.html")));
        QVERIFY2(!index.isEmpty(), qPrintable(guide.path() + QStringLiteral(" has no index.html")));
        QVERIFY(index.contains(QStringLiteral("<meta charset=\"utf-8\">")));
        for (const QString& section : { kGuideMainMenu, kGuideEntryScreen, kGuideListScreen }) {
            QVERIFY2(index.contains(QStringLiteral("<a id=\"%1\"></a>").arg(section)), qPrintable(section));
            const QString page = readAll(guide.filePath(section + QStringLiteral(".html")));
            QVERIFY2(page.contains(QStringLiteral("url=index.html#%1\"").arg(section)), qPrintable(section));
        }
        QVERIFY(index.contains(QStringLiteral("<a id=\"messages\"></a>")));
        for (const char* name : { "main-menu.png", "entry-screen.png", "list-screen.png" }) {
            QVERIFY2(index.contains(QStringLiteral("src=\"%1\"").arg(QString::fromLatin1(name))), name);
            const QImage picture(guide.filePath(QString::fromLatin1(name)));
            QCOMPARE(picture.size(), QSize(1016, 734)); // 15240 x 11010 twips at 96 DPI
            QSet<QRgb> colours;
            for (int y = 0; y < picture.height(); y += 7)
                for (int x = 0; x < picture.width(); x += 7)
                    colours.insert(picture.pixel(x, y));
            QVERIFY2(colours.size() > 8, name); // the screen drawn, not an empty window
        }
    }

    // Each message of the program (a %1 stands for any text) has its row in
    // the guide's table, and each row stands for a message of the program.
    void everyMessageHasItsRowInTheGuide()
    {
        const QList<Message> messages = programMessages();
        QVERIFY2(messages.size() > 100, qPrintable(QString::number(messages.size())));
        const QList<GuideRow> rows = guideTableRows(readGuide());
        QVERIFY(!rows.isEmpty());
        // Listed one by one: a long failure text would be cut short.
        const QStringList missing = missingFrom(rows, messages);
        for (const QString& m : missing)
            qWarning().noquote() << "no row in docs/ja/guide.md for" << m;
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("%1 messages have no row").arg(missing.size())));

        QStringList stale;
        for (const GuideRow& row : rows) {
            const bool used = std::any_of(
                messages.begin(), messages.end(), [&](const Message& m) { return rowHolds(row.message, m.text); });
            if (!used)
                stale << QStringLiteral("line %1: %2").arg(row.line).arg(row.message);
        }
        for (const QString& row : stale)
            qWarning().noquote() << "no message of the program for docs/ja/guide.md" << row;
        QVERIFY2(stale.isEmpty(), qPrintable(QStringLiteral("%1 rows stand for no message").arg(stale.size())));
    }

    // The ways a message reaches the agent, each in a new source: the
    // collector finds every one, and the guide has no row for them.
    void aNewMessageIsFoundWhereverItIsShown()
    {
        MessageCollector collector;
        collector.addSource(QStringLiteral("store/New.h"),
            QStringLiteral(
                "inline const QString kSettingsSaved = QStringLiteral(\"プリンターの設定を保存しました\");\n"));
        collector.addSource(QStringLiteral("screens/New.cpp"), QStringLiteral(R"(
namespace {
// "コメントの中の文。" is no message.
[[noreturn]] void refuse(const QString& path, const QString& what)
{
    throw PlatformError(QStringLiteral("%1 を印刷機に渡せません\n%2").arg(path, what));
}
}
void Screen::apply()
{
    if (busy) {
        m_services.messages.show(QStringLiteral("いま印刷中です" "（しばらくお待ち下さい）"), MB_Critical, kMessageTitle);
    }
    const auto failed = [&](const QString& why) { throw PlatformError(why); };
    if (copies > 99)
        failed(QStringLiteral("部数が多すぎます"));
    refuse(path, QStringLiteral("形式が違います"));
    m_services.messages.show(kSettingsSaved, MB_Information, kMessageTitle);
    label->setText(QStringLiteral("部数"));
    hint->setText(QStringLiteral("部数は 1 から 99 までです。"));
})"));
        QStringList texts;
        for (const Message& m : collector.messages())
            texts << m.text;
        texts.sort();
        QStringList expected { QStringLiteral("プリンターの設定を保存しました"),
            QStringLiteral("%1 を印刷機に渡せません\n%2"), QStringLiteral("いま印刷中です（しばらくお待ち下さい）"),
            QStringLiteral("部数が多すぎます"), QStringLiteral("形式が違います"),
            QStringLiteral("部数は 1 から 99 までです。") };
        expected.sort();
        QCOMPARE(texts, expected);
        QCOMPARE(missingFrom(guideTableRows(readGuide()), collector.messages()).size(), expected.size());
    }
};

QTEST_MAIN(TestGuide)
#include "TestGuide.moc"
