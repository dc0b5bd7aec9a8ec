// What the status address answers, and the counts line of the log.
#include "Connection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace gateway {

namespace {

QJsonValue Count(quint64 n)
{
    return QJsonValue(qint64(n));
}

} // namespace

QByteArray TGatewayServer::StatusJson() const
{
    const qint64 now = NowMs();
    int benched = 0, inUse = 0;
    for (const TUpstreamPtr &u : FPool.Upstreams()) {
        benched += u->Benched(now) ? 1 : 0;
        inUse += u->InUse > 0 ? 1 : 0;
    }
    const TGatewayCounts &n = FCounts;
    const QJsonObject status{
        {QStringLiteral("pool"), qint64(FPool.Upstreams().size())},
        {QStringLiteral("benched"), benched},
        {QStringLiteral("in_use"), inUse},
        {QStringLiteral("connections"), OpenConnections()},
        {QStringLiteral("requests"),
         QJsonObject{{QStringLiteral("relayed"), Count(n.Requests)},
                     {QStringLiteral("failed"), Count(n.RequestsFailed)}}},
        {QStringLiteral("tunnels"),
         QJsonObject{{QStringLiteral("opened"), Count(n.Tunnels)},
                     {QStringLiteral("failed"), Count(n.TunnelsFailed)}}},
        {QStringLiteral("retries"), Count(n.Retries)},
        {QStringLiteral("refused"),
         QJsonObject{{QStringLiteral("empty_pool"), Count(n.NoPool)},
                     {QStringLiteral("auth"), Count(n.AuthRequired)},
                     {QStringLiteral("bad_request"), Count(n.BadRequests)},
                     {QStringLiteral("timed_out"), Count(n.TimedOut)},
                     {QStringLiteral("too_large"), Count(n.TooLarge)},
                     {QStringLiteral("busy"), Count(n.Busy)},
                     {QStringLiteral("source_busy"), Count(n.SourceBusy)},
                     {QStringLiteral("dropped"), Count(n.Dropped)}}},
        {QStringLiteral("bytes"), QJsonObject{{QStringLiteral("up"), Count(n.BytesUp)},
                                              {QStringLiteral("down"), Count(n.BytesDown)}}},
    };
    return QJsonDocument(status).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray TGatewayServer::PoolJson() const
{
    const qint64 now = NowMs();
    QJsonArray pool;
    for (const TUpstreamPtr &u : FPool.Upstreams()) {
        const bool benched = u->Benched(now);
        QJsonObject entry{
            {QStringLiteral("proxy"), QString::fromLatin1(u->Key())},
            {QStringLiteral("type"), QString::fromLatin1(net::ProxyTypeName(u->Type))},
            {QStringLiteral("state"), benched        ? QStringLiteral("benched")
                                      : u->InUse > 0 ? QStringLiteral("in use")
                                                     : QStringLiteral("ready")},
            {QStringLiteral("in_use"), u->InUse},
            {QStringLiteral("uses"), Count(u->Uses)},
            {QStringLiteral("failures"), Count(u->Failures)},
            {QStringLiteral("failures_in_a_row"), u->Strikes()},
        };
        if (benched)
            entry.insert(QStringLiteral("benched_ms"), u->BenchedUntil() - now);
        if (u->Speed() >= 0)
            entry.insert(QStringLiteral("speed_ms"), qRound64(u->Speed()));
        pool.append(entry);
    }
    return QJsonDocument(pool).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray CountsLine(const TGatewayCounts &n)
{
    const auto num = [](quint64 v) { return QByteArray::number(v); };
    return "requests " + num(n.Requests) + " (failed " + num(n.RequestsFailed) + "), tunnels " +
           num(n.Tunnels) + " (failed " + num(n.TunnelsFailed) + "), retries " + num(n.Retries) +
           ", refused 503 empty pool: " + num(n.NoPool) + " 407: " + num(n.AuthRequired) +
           " 400: " + num(n.BadRequests) + " 408: " + num(n.TimedOut) + " 431: " + num(n.TooLarge) +
           " 503: " + num(n.Busy) + " 503 per source: " + num(n.SourceBusy) + ", dropped " +
           num(n.Dropped) + ", bytes up " + num(n.BytesUp) + " down " + num(n.BytesDown);
}

} // namespace gateway
