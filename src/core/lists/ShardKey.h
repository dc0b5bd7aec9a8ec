// Splitting a list into N disjoint shards that together hold every entry, so
// that machines which never talk to each other can each check a part.
//
// An entry's shard is FNV-1a (64 bits) of its key text, modulo N. The key of
// a proxy is "TYPE://HOST:PORT" with TYPE "http", "socks4" or "socks5", HOST
// in ASCII lower case, and PORT without leading zeros when it is all digits
// (else as written); the key of a site is its address as held in the list.
// The function and the keys are fixed: every machine and every version puts
// an entry into the same shard.
#pragma once

#include "net/ProxyType.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace leecher {

struct TShard
{
    quint32 Index = 0; // 0 <= Index < Count
    quint32 Count = 1; // 1: the whole list
    bool IsWhole() const { return Count == 1; }
    bool Holds(QByteArrayView key) const;
};

inline constexpr quint32 MaxShards = 1u << 20;

// "I/N" with 0 <= I < N <= MaxShards; nothing for anything else.
std::optional<TShard> ParseShard(const QString &text);

// FNV-1a, 64 bits (offset basis 14695981039346656037, prime 1099511628211).
quint64 ShardHash(QByteArrayView key);

// The host and port as a proxy's key holds them: the host in ASCII lower
// case, the port without leading zeros when it is all digits.
QByteArray ProxyKeyHost(QByteArrayView host);
QByteArrayView ProxyKeyPort(QByteArrayView port);

QByteArray ProxyShardKey(net::TProxyType type, QByteArrayView host, QByteArrayView port);
// The same key written into `buffer`, which keeps its room from call to call
// (no allocation once it is large enough); `buffer` holds nothing else after.
void WriteProxyShardKey(QByteArray &buffer, net::TProxyType type, QByteArrayView host,
                        QByteArrayView port);

} // namespace leecher
