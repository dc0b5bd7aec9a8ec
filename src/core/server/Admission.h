// Which connections a server takes on: at most a number at once, and at
// most a smaller number from one source address, so that one client holding
// idle connections leaves room for everyone else.
//
// A connection over either cap is refused: told so at once and closed.
// Refusals hold a descriptor while they linger, so there are at most as
// many of them as connections served; one beyond that is closed without a
// word. The source is the peer address: behind a front that forwards
// connections, every client is the front.
#pragma once

#include <QHash>
#include <QtGlobal>

namespace server {

class TAdmission
{
public:
    enum TVerdict { Serve, Refuse, Drop };

    TAdmission(int connections, int perSource) : FCap(connections), FSourceCap(perSource) {}

    // The verdict on a new connection from Source (an IPv4 address). Serve
    // and Refuse are counted until Release; Drop is not. BySource tells
    // whether the source's own cap decided rather than the total.
    TVerdict Admit(quint32 source, bool *bySource = nullptr);
    void Release(quint32 source, TVerdict verdict);

    int Serving() const { return FServing; }
    int Refusing() const { return FRefusing; }
    // Sources with a connection being served (0 once all have ended).
    qsizetype Sources() const { return FSources.size(); }

private:
    const int FCap;
    const int FSourceCap;
    int FServing = 0;
    int FRefusing = 0;
    QHash<quint32, int> FSources; // connections served, by source
};

} // namespace server
