// vexo-gateway: one local proxy address over the good proxies of a result
// file. See GatewayServer.h.
#include "GatewayCommandLine.h"
#include "Recheck.h"

#include "CliSettings.h"
#include "analyser/OwnAddress.h"
#include "lists/FileError.h"
#include "server/DescriptorLimit.h"
#include "settings/DataFolder.h"
#include "util/EventDispatcher.h"
#include "util/StopSignals.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

void Say(const QByteArray &line)
{
    std::fprintf(stderr, "vexo-gateway: %s\n", line.constData());
}

// The check run's settings for --recheck, as vexo-cli check reads them.
bool CheckInputs(const gateway::TGatewayCommand &command, analyser::TCheckInputValues &inputs)
{
    const settings::TDataFolder folder = settings::DataFolder(command.Dir);
    if (folder.path.isEmpty()) {
        Say(folder.error.toLocal8Bit());
        return false;
    }
    cli::TSettingOverrides overrides;
    overrides.Judge = command.Judge;
    try {
        inputs = cli::ReadCheckSettings(folder.path, overrides,
                                        [] { return analyser::FindOwnAddress(); });
    } catch (const leecher::EFileError &e) {
        Say(e.Message().toLocal8Bit());
        return false;
    }
    inputs.machineAddresses = analyser::MachineAddresses();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    util::UsePlainEventDispatcher();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexo-gateway"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.3"));

    gateway::TGatewayCommand command;
    QString error;
    if (!gateway::ParseGatewayCommandLine(QCoreApplication::arguments(), command, &error)) {
        Say(error.toLocal8Bit() + " (--help lists the options)");
        return 2;
    }
    if (command.ShowText) {
        std::fputs(command.Text.toLocal8Bit().constData(), stdout);
        return 0;
    }

    analyser::TAnalyserList list;
    gateway::TUpstreams upstreams;
    qsizetype skipped = 0;
    if (command.FromHistory) {
        const settings::TDataFolder folder = settings::DataFolder(command.Dir);
        if (folder.path.isEmpty() ||
            !gateway::LoadPoolFromHistory(folder.path, command.GoodWithinMs, list, upstreams,
                                          &skipped, &error)) {
            Say((folder.path.isEmpty() ? folder.error : error).toLocal8Bit());
            return 1;
        }
    } else if (!gateway::LoadPoolFile(command.PoolFile, list, upstreams, &skipped, &error)) {
        Say(error.toLocal8Bit());
        return 1;
    }
    if (skipped > 0)
        Say(QByteArray::number(skipped) + " proxies without an IPv4 address left out");
    Say("pool: " + QByteArray::number(qsizetype(upstreams.size())) + " proxies");
    analyser::TCheckInputValues inputs;
    if (command.RecheckMinutes > 0 && !CheckInputs(command, inputs))
        return 1;

    // Two descriptors a connection: the client's and its upstream's.
    const QByteArray capped = server::FitDescriptorLimit(command.Config.Limits.Connections, 2);
    if (!capped.isEmpty())
        Say(capped);
    gateway::TGatewayServer server(command.Config);
    server.Pool().Replace(std::move(upstreams));
    if (!server.Start(&error)) {
        Say("cannot listen: " + error.toLocal8Bit());
        return 1;
    }
    Say("listening on " + server.serverAddress().toString().toLatin1() + ':' +
        QByteArray::number(server.serverPort()));
    if (server.AdminPort())
        Say("status on " + command.Config.AdminAddress.toString().toLatin1() + ':' +
            QByteArray::number(server.AdminPort()));

    std::unique_ptr<gateway::TRecheck> recheck;
    if (command.RecheckMinutes > 0) {
        recheck = std::make_unique<gateway::TRecheck>(server.Pool(), std::move(list), inputs);
        QObject::connect(recheck.get(), &gateway::TRecheck::swapped, &server,
                         [](int good, int checked) {
                             Say("re-checked " + QByteArray::number(checked) +
                                 " proxies: " + QByteArray::number(good) + " good" +
                                 (good == 0 ? ", the pool stays as it was" : ""));
                         });
        recheck->Start(command.RecheckMinutes * 60 * 1000);
    }

    // Counts only, once a minute when they changed: nothing of any request.
    QTimer report;
    gateway::TGatewayCounts reported;
    QObject::connect(&report, &QTimer::timeout, &server, [&] {
        if (server.Counts() == reported)
            return;
        reported = server.Counts();
        Say(gateway::CountsLine(reported));
    });
    report.start(60000);

    // The first stop signal lets the tunnels and requests under way finish
    // within the grace period; a second ends at once.
    util::TStopSignals stops(2);
    QObject::connect(&stops, &util::TStopSignals::stopAsked, &server, [&](int count) {
        if (count > 1) {
            QCoreApplication::exit(0);
            return;
        }
        recheck.reset();
        Say("stopping: " + QByteArray::number(server.OpenConnections()) + " connections under way");
        server.Stop();
    });
    QObject::connect(&server, &gateway::TGatewayServer::stopped, &app, [&] {
        Say(gateway::CountsLine(server.Counts()));
        QCoreApplication::exit(0);
    });
    return app.exec();
}
