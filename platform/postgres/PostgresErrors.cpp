#include "platform/postgres/PostgresErrors.h"

#include "platform/postgres/PostgresDatabaseEngine.h"

namespace postgres_engine {

QString engineText(const char* message)
{
    QString text = QString::fromUtf8(message ? message : "").trimmed();
    text = text.section(QLatin1Char('\n'), 0, 0);
    for (const char* prefix : { "FATAL:  ", "ERROR:  " })
        if (text.startsWith(QLatin1String(prefix)))
            text = text.mid(int(qstrlen(prefix)));
    return text;
}

QString describeConnectFailure(const QString& label, const QString& detail)
{
    QString why;
    if (detail.contains(QLatin1String("does not match host name")))
        why = QStringLiteral("サーバーの証明書が接続先の名前と一致しないため、接続を拒否しました。"
                             "接続先の名前か、サーバーの証明書を確かめて下さい。");
    else if (detail.contains(QLatin1String("certificate")) || detail.contains(QLatin1String("SSL"))
        || detail.contains(QLatin1String("root cert")))
        why = QStringLiteral("サーバーの証明書を確かめられないため、接続を拒否しました。"
                             "事務所の証明書（CA）の設定を確かめて下さい。");
    else if (detail.contains(QLatin1String("timeout")))
        why = QStringLiteral("サーバーが応答しませんでした（%1 秒待って応答がなければ、あきらめます）。")
                  .arg(PostgresDatabaseEngine::kTimeoutSeconds);
    else if (detail.contains(QLatin1String("password")) || detail.contains(QLatin1String("authentication")))
        why = QStringLiteral("サーバーが利用者を認めませんでした（パスワードか証明書の設定を確かめて下さい）。");
    else if (detail.contains(QLatin1String("does not exist")))
        why = QStringLiteral("サーバーにそのデータベースか利用者がありません。");
    else if (detail.contains(QLatin1String("shutting down")) || detail.contains(QLatin1String("starting up")))
        why = QStringLiteral("サーバーが停止中か起動中です。しばらく待ってからやり直して下さい。");
    else
        why = QStringLiteral(
            "サーバーに接続できません。サーバーが動いているか、ネットワークと接続先の設定を確かめて下さい。");
    return QStringLiteral("%1 に接続できませんでした。\n%2\n（%3）").arg(label, why, detail);
}

bool isConnectionFailure(const QByteArray& state)
{
    return state.startsWith("57P") || state.startsWith("08");
}

QString describeStatementFailure(
    const QByteArray& state, const QString& detail, const QString& label, const QString& statement)
{
    QString text;
    if (state == "42P01") {
        // The server names the table folded to lower case; say it as the
        // statement wrote it.
        QString table = detail.section(QLatin1Char('"'), 1, 1);
        const int at = int(statement.indexOf(table, 0, Qt::CaseInsensitive));
        if (at >= 0)
            table = statement.mid(at, table.size());
        text = QStringLiteral("%1 には表 %2 がありません。").arg(label, table);
    } else if (state == "42703") {
        text = QStringLiteral("%1 の表に、文の使う列がありません。").arg(label);
    } else if (state == "42501") {
        text = QStringLiteral("%1 で、この操作をする権限がありません。").arg(label);
    } else if (state == "57014") {
        text = QStringLiteral("%1 が処理を時間内に終えなかったため、処理は取り消されました（何も変わっていません）。"
                              "しばらく待ってからやり直して下さい。")
                   .arg(label);
    } else if (state == "25006") {
        text = QStringLiteral("%1 は読み取り専用のため、書き込めません。").arg(label);
    } else if (state == "53100") {
        text = QStringLiteral("%1 のディスクがいっぱいのため、書き込めませんでした。").arg(label);
    } else if (isConnectionFailure(state)) {
        text = QStringLiteral("%1 が停止中か、接続が切れました。しばらく待ってからやり直して下さい。").arg(label);
    } else if (state.startsWith("23")) {
        text = QStringLiteral("データベースが値を受け付けませんでした。");
    } else if (state.startsWith("22")) {
        text = QStringLiteral("サーバーが値を受け付けませんでした（保存できない文字か、大きすぎる値です）。");
    } else {
        text = QStringLiteral("データベースの処理に失敗しました（%1）。").arg(label);
    }
    return text + QStringLiteral("\n（%1）").arg(detail);
}

} // namespace postgres_engine
