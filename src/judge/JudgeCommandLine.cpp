#include "JudgeCommandLine.h"

#include "ClientToken.h"
#include "net/WSocket.h"
#include "server/OptionValues.h"

#include <QCommandLineParser>
#include <QFile>

namespace judge {

namespace {

bool ReadSecret(const QString &path, QByteArray &secret, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the secret file %1: %2").arg(path, file.errorString());
        return false;
    }
    secret = file.read(4096).trimmed();
    if (secret.size() < MinSecretBytes) {
        *error = QStringLiteral("the secret in %1 is shorter than %2 bytes")
                     .arg(path)
                     .arg(MinSecretBytes);
        return false;
    }
    return true;
}

} // namespace

bool ParseJudgeCommandLine(const QStringList &arguments, TJudgeCommand &command, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A proxy judge: answers GET and HEAD with a page that shows the address "
                       "the request came from, its header lines and an anonymity level."));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("IPv4 address and port to listen on (default %1).")
            .arg(QLatin1StringView(DefaultListen)),
        QStringLiteral("ADDR:PORT"), QString::fromLatin1(DefaultListen));
    const QCommandLineOption clientIp(
        QStringLiteral("client-ip"),
        QStringLiteral("An address of the analyser's own: level 5 wherever it shows. Repeatable."),
        QStringLiteral("ADDR"));
    const QCommandLineOption token(
        QStringLiteral("token"),
        QStringLiteral("Answer only requests whose query carries token=TEXT (403 otherwise)."),
        QStringLiteral("TEXT"));
    const QCommandLineOption secretFile(
        QStringLiteral("secret-file"),
        QStringLiteral("File holding the secret for signed client addresses "
                       "(client=ADDR&sig=...)."),
        QStringLiteral("FILE"));
    const QCommandLineOption sign(
        QStringLiteral("sign"),
        QStringLiteral("Print the query part that names ADDR as the client, and exit."),
        QStringLiteral("ADDR"));
    const server::TCapOptions caps;
    parser.addOptions(
        {listen, clientIp, token, secretFile, sign, caps.Connections, caps.PerSource});
    switch (server::ParseServerArguments(parser, arguments, command.Text, error)) {
    case server::TParsed::Failed:
        return false;
    case server::TParsed::Text:
        command.Action = TJudgeCommand::ShowText;
        return true;
    case server::TParsed::Ok:
        break;
    }
    TJudgeConfig &config = command.Config;
    if (!server::ParseListen(parser.value(listen), config.Address, config.Port)) {
        *error = QStringLiteral("--listen wants an IPv4 address and a port, as 0.0.0.0:8080");
        return false;
    }
    for (const QString &value : parser.values(clientIp)) {
        QByteArray dotted;
        if (!net::WSocketIsDottedIP(value.toLatin1(), &dotted)) {
            *error = QStringLiteral("--client-ip wants an IPv4 address: ") + value;
            return false;
        }
        config.ClientAddresses.append(dotted);
    }
    if (parser.isSet(token)) {
        config.Token = parser.value(token).toUtf8();
        if (config.Token.isEmpty()) {
            *error = QStringLiteral("--token must not be empty");
            return false;
        }
    }
    if (parser.isSet(secretFile) && !ReadSecret(parser.value(secretFile), config.Secret, error))
        return false;
    if (!caps.Apply(parser, config.Limits, error))
        return false;
    if (parser.isSet(sign)) {
        if (!net::WSocketIsDottedIP(parser.value(sign).toLatin1(), &command.SignAddress)) {
            *error = QStringLiteral("--sign wants an IPv4 address: ") + parser.value(sign);
            return false;
        }
        if (config.Secret.isEmpty()) {
            *error = QStringLiteral("--sign needs --secret-file");
            return false;
        }
        command.Action = TJudgeCommand::Sign;
    }
    return true;
}

} // namespace judge
