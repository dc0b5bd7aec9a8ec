// vexo-judge: a proxy judge to host yourself. See JudgeServer.h.
#include "ClientToken.h"
#include "JudgeCommandLine.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

void Say(const QByteArray &line)
{
    std::fprintf(stderr, "vexo-judge: %s\n", line.constData());
}

// Each connection, and each refusal of one over the cap, holds a descriptor:
// raise the soft limit as far as needed and allowed, else serve fewer.
void FitDescriptorLimit(judge::TJudgeLimits &limits)
{
    constexpr rlim_t Spare = 64;
    const rlim_t need = rlim_t(limits.Connections) * 2 + Spare;
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0)
        return;
    if (r.rlim_cur < need) {
        r.rlim_cur = std::min(need, r.rlim_max);
        setrlimit(RLIMIT_NOFILE, &r);
        getrlimit(RLIMIT_NOFILE, &r);
    }
    if (r.rlim_cur < need) {
        limits.Connections = std::max(1, int((r.rlim_cur - std::min(r.rlim_cur, Spare)) / 2));
        Say("descriptor limit " + QByteArray::number(quint64(r.rlim_cur)) + ": serving at most " +
            QByteArray::number(limits.Connections) + " connections");
    }
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

    FitDescriptorLimit(command.Config.Limits);
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
