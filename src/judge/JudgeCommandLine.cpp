#include "JudgeCommandLine.h"

#include "ClientToken.h"
#include "net/WSocket.h"
#include "server/OptionValues.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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
    const QCommandLineOption maxConnections(
        QStringLiteral("max-connections"),
        QStringLiteral("Connections served at once (default %1); more get 503.")
            .arg(MaxConnections),
        QStringLiteral("N"));
    const QCommandLineOption maxPerSource(
        QStringLiteral("max-per-source"),
        QStringLiteral("Connections of one source address served at once (default "
                       "--max-connections / %1, at least 1); more get 503.")
            .arg(PerSourceShare),
        QStringLiteral("N"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({listen, clientIp, token, secretFile, sign, maxConnections, maxPerSource});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        command.Action = TJudgeCommand::ShowText;
        command.Text = parser.isSet(help) ? parser.helpText()
                                          : QCoreApplication::applicationName() + u' ' +
                                                QCoreApplication::applicationVersion() + u'\n';
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return false;
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
    if (parser.isSet(maxConnections) &&
        !server::ParseCount(parser.value(maxConnections), "--max-connections",
                            config.Limits.Connections, error))
        return false;
    if (parser.isSet(maxPerSource) &&
        !server::ParseCount(parser.value(maxPerSource), "--max-per-source", config.Limits.PerSource,
                            error))
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
