#include "RowRecord.h"

#include "location/Locator.h"

namespace history {

bool CheckEnded(const analyser::TProxyItem &item)
{
    return item.State != analyser::psNone && item.Status.view() != QByteArrayView("Analyzing") &&
           item.Status.view() != QByteArrayView("Retrying");
}

TCheckRecord RecordOf(const analyser::TProxyItem &item)
{
    TCheckRecord r;
    r.Type = item.Type;
    r.Host = item.Host.view().toByteArray();
    r.Port = item.Port.view().toByteArray();
    r.At = item.CheckedAt;
    r.State = item.State;
    r.Status = item.Status.view().toByteArray();
    r.Level = item.Level.view().toByteArray();
    r.Anonymous = item.Anonymous.view().toByteArray();
    bool ok = false;
    const int speed = item.Speed.view().toInt(&ok);
    r.SpeedMs = ok && speed >= 0 ? speed : -1;
    r.Gateway = item.RemoteAddr.view().toByteArray();
    r.Exit = geo::ExitAddress(item);
    r.Country = item.Country.view().toByteArray();
    return r;
}

analyser::TProxyItem ItemOf(const TProxyHistory &h)
{
    analyser::TProxyItem item;
    item.Type = h.Last.Type;
    item.Host = h.Last.Host;
    item.Port = h.Last.Port;
    item.State = h.Last.State;
    item.Status = h.Last.Status;
    item.RemoteAddr = h.Last.Gateway;
    item.Anonymous = h.Last.Anonymous;
    item.Level = h.Last.Level;
    if (h.Last.SpeedMs >= 0)
        item.Speed = QByteArray::number(h.Last.SpeedMs);
    item.CheckedAt = h.Last.At;
    item.Country = analyser::TCountryCode(h.Last.Country);
    item.Checks = h.Figures.Checks;
    item.Goods = h.Figures.Goods;
    item.LastGood = h.Figures.LastGood;
    return item;
}

} // namespace history
