// vexo-judge: a proxy judge to host yourself. See JudgeServer.h.
#include "ClientToken.h"
#include "JudgeCommandLine.h"
#include "server/DescriptorLimit.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

void Say(const QByteArray &line)
{
    std::fprintf(stderr, "vexo-judge: %s\n", line.constData());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexo-judge"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.3"));

    judge::TJudgeCommand command;
    QString error;
    if (!judge::ParseJudgeCommandLine(QCoreApplication::arguments(), command, &error)) {
        Say(error.toLocal8Bit() + " (--help lists the options)");
        return 2;
    }
    switch (command.Action) {
    case judge::TJudgeCommand::ShowText:
        std::fputs(command.Text.toLocal8Bit().constData(), stdout);
        return 0;
    case judge::TJudgeCommand::Sign:
        std::printf("%s\n",
                    judge::ClientQuery(command.Config.Secret, command.SignAddress).constData());
        return 0;
    case judge::TJudgeCommand::Serve:
        break;
    }

    const QByteArray capped = server::FitDescriptorLimit(command.Config.Limits.Connections, 1);
    if (!capped.isEmpty())
        Say(capped);
    judge::TJudgeServer server(command.Config);
    if (!server.Start(&error)) {
        Say("cannot listen on " + command.Config.Address.toString().toLatin1() + ':' +
            QByteArray::number(command.Config.Port) + ": " + error.toLocal8Bit());
        return 1;
    }
    Say("listening on " + server.serverAddress().toString().toLatin1() + ':' +
        QByteArray::number(server.serverPort()));

    // Counts only, once a minute when they changed: nothing of any request.
    QTimer report;
    judge::TJudgeCounts reported;
    QObject::connect(&report, &QTimer::timeout, &server, [&] {
        if (server.Counts() == reported)
            return;
        reported = server.Counts();
        Say(judge::CountsLine(reported));
    });
    report.start(60000);
    return app.exec();
}
