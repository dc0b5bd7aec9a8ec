// Name lookup behind one seam. Every socket asks the process's resolver,
// which the program leaves at the system's; tests, fuzz targets and
// benchmarks put one in its place that never leaves the machine.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QtGlobal>

#include <functional>

class QObject;

namespace net {

struct TLookupAnswer
{
    quint16 Error = 0;        // Windows sockets code (11001 not found ...); 0 when found
    QByteArrayList Addresses; // IPv4 only, dotted, in the resolver's order
};

class TResolver
{
public:
    using TDone = std::function<void(const TLookupAnswer &Answer)>;
    virtual ~TResolver() = default;
    // Looks up Name, a host that passed the host check, and calls Done from
    // the event loop of Context's thread, never before Lookup has returned.
    // Once Context is destroyed, Done is never called.
    virtual void Lookup(const QByteArray &Name, QObject *Context, TDone Done) = 0;

protected:
    // Gives an answer known at once, from the event loop as Lookup promises.
    static void Post(QObject *Context, TDone Done, const TLookupAnswer &Answer);
};

// The system's resolver (asynchronous, on Qt's lookup threads).
class TSystemResolver final : public TResolver
{
public:
    void Lookup(const QByteArray &Name, QObject *Context, TDone Done) override;
};

// The resolver every lookup goes to.
TResolver &CurrentResolver();
// Puts Resolver in place for every lookup from now on (nullptr: the system's
// again) and returns the one it replaces. The caller keeps ownership and
// keeps it alive while it is in place. Set it before any socket looks up.
TResolver *SetResolver(TResolver *Resolver);

} // namespace net
