#include "Pool.h"

#include "InputFiles.h"

#include "net/HostCheck.h"

#include "history/CheckRecorder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <arpa/inet.h>

namespace gateway {

TUpstreams UpstreamsFromList(const analyser::TAnalyserList &list, bool allGood, qsizetype *skipped)
{
    TUpstreams upstreams;
    QHash<QByteArray, bool> seen;
    for (const analyser::TProxyItem &e : list) {
        if (!allGood && e.State != analyser::psGood)
            continue;
        const QByteArray host = e.Host.toByteArray();
        bool ok = false;
        const uint port = e.Port.toByteArray().toUInt(&ok);
        in_addr address{};
        if (net::HostForm(host) != net::THostForm::IPv4 || !ok || port == 0 || port > 65535 ||
            ::inet_pton(AF_INET, host.constData(), &address) != 1) {
            if (skipped)
                ++*skipped;
            continue;
        }
        auto upstream = std::make_shared<TUpstream>(e.Type, host, quint16(port), address.s_addr);
        if (seen.contains(upstream->Key()))
            continue;
        seen.insert(upstream->Key(), true);
        bool speedOk = false;
        const double speed = e.Speed.toByteArray().toDouble(&speedOk);
        if (speedOk && speed >= 0)
            upstream->SetSpeed(speed);
        upstreams.push_back(std::move(upstream));
    }
    return upstreams;
}

bool LoadPoolFile(const QString &path, analyser::TAnalyserList &list, TUpstreams &upstreams,
                  qsizetype *skipped, QString *error)
{
    try {
        const cli::TListText text = cli::ReadTextFile(path, cli::MaxResultLineBytes);
        cli::TListForm form = cli::TListForm::ProxyLines;
        list = cli::ProxiesFromText(text.Text, path, &form);
        upstreams = UpstreamsFromList(list, form == cli::TListForm::ProxyLines, skipped);
    } catch (const leecher::EFileError &e) {
        *error = e.Message();
        return false;
    }
    return true;
}

bool LoadPoolFromHistory(const QString &folder, qint64 goodWithinMs, analyser::TAnalyserList &list,
                         TUpstreams &upstreams, qsizetype *skipped, QString *error)
{
    const QString path = QDir(folder).filePath(QLatin1StringView(history::HistoryFileName));
    if (!QFileInfo::exists(path)) {
        *error = QStringLiteral("There is no check history in %1 yet: vexo-cli check or the "
                                "analyser records one.")
                     .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    history::THistoryDb db;
    history::THistoryFilter filter;
    filter.GoodSince = QDateTime::currentMSecsSinceEpoch() - goodWithinMs;
    if (!db.Open(path) || !db.List(filter, [&list](const history::TProxyHistory &h) {
            analyser::TProxyItem item = history::ItemOf(h);
            // Good within the time, whatever its last check said.
            item.State = analyser::psGood;
            list.push_back(std::move(item));
        })) {
        *error = db.Error();
        return false;
    }
    upstreams = UpstreamsFromList(list, true, skipped);
    return true;
}

void TPool::Replace(TUpstreams fresh)
{
    QHash<QByteArray, TUpstreamPtr> old;
    for (const TUpstreamPtr &u : FUpstreams)
        old.insert(u->Key(), u);
    for (TUpstreamPtr &u : fresh) {
        const TUpstreamPtr kept = old.value(u->Key());
        if (kept) {
            if (u->Speed() >= 0 && kept->Speed() < 0)
                kept->SetSpeed(u->Speed());
            u = kept;
        }
    }
    FUpstreams = std::move(fresh);
}

} // namespace gateway
