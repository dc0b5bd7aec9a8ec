#include "ShardKey.h"

#include <algorithm>

namespace leecher {

bool TShard::Holds(QByteArrayView key) const
{
    return IsWhole() || ShardHash(key) % Count == Index;
}

std::optional<TShard> ParseShard(const QString &text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0)
        return std::nullopt;
    const auto number = [](QStringView digits, quint32 &value) {
        if (digits.isEmpty() || digits.size() > 7)
            return false;
        for (QChar c : digits) {
            if (c < u'0' || c > u'9')
                return false;
        }
        value = digits.toUInt();
        return true;
    };
    TShard shard;
    if (!number(QStringView(text).first(slash), shard.Index) ||
        !number(QStringView(text).sliced(slash + 1), shard.Count) || shard.Count == 0 ||
        shard.Count > MaxShards || shard.Index >= shard.Count)
        return std::nullopt;
    return shard;
}

quint64 ShardHash(QByteArrayView key)
{
    quint64 hash = 14695981039346656037ull;
    for (char c : key) {
        hash ^= quint8(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

namespace {

char KeyChar(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

} // namespace

QByteArray ProxyKeyHost(QByteArrayView host)
{
    QByteArray lower(host.size(), Qt::Uninitialized);
    std::transform(host.begin(), host.end(), lower.data(), KeyChar);
    return lower;
}

QByteArrayView ProxyKeyPort(QByteArrayView port)
{
    const bool digits = !port.isEmpty() && std::all_of(port.begin(), port.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
        qsizetype zeros = 0;
        while (zeros + 1 < port.size() && port[zeros] == '0')
            ++zeros;
        port = port.sliced(zeros);
    }
    return port;
}

QByteArray ProxyShardKey(net::TProxyType type, QByteArrayView host, QByteArrayView port)
{
    QByteArray key;
    WriteProxyShardKey(key, type, host, port);
    return key;
}

void WriteProxyShardKey(QByteArray &buffer, net::TProxyType type, QByteArrayView host,
                        QByteArrayView port)
{
    const QByteArray prefix = net::ProxyTypePrefix(type);
    const QByteArrayView scheme = prefix.isEmpty() ? QByteArrayView("http://") : prefix;
    port = ProxyKeyPort(port);
    buffer.resize(scheme.size() + host.size() + 1 + port.size());
    char *out = std::copy(scheme.begin(), scheme.end(), buffer.data());
    out = std::transform(host.begin(), host.end(), out, KeyChar);
    *out++ = ':';
    std::copy(port.begin(), port.end(), out);
}

} // namespace leecher
