// The own address as the judges see it.
//
// Behind NAT, as nearly every desktop is, this machine's own address is a
// private one that no judge ever sees: a transparent proxy forwards the
// user's public address instead, and a search for the private one would pass
// it as anonymous. So the judge itself is asked, directly and without a
// proxy, which address the request came from ("REMOTE_ADDR="), and that is
// the address a proxy's page must not show.
//
// Where the address comes from, first match wins:
//   1. the user typed it: it holds until the program ends, and no judge is
//      asked any more;
//   2. the judge's answer to the direct request;
//   3. this machine's own address (OwnAddress.h), when the judge cannot be
//      reached, does not answer 200 within the timeout, or its page has no
//      usable "REMOTE_ADDR=" field.
//
// The same ask finds the judge of the run (JudgeFallback.h): Find may be
// given the list of judges to try in turn; the first whose answer is a judge
// page is Judge(), and gives the address.
//
// A check run is started only after Find has ended (the window and the
// command line wait for `found`), so every page of the run is judged against
// the address the judge gave. The wait is bounded by the run's own timeout
// and never blocks the event loop.
//
// A front end drives it like this:
//   probe.SetMachineAddress(FindOwnAddress());   // the fallback
//   if (typed) probe.SetTyped(address);          // e.g. from an option
//   connect(&probe, &TOwnAddressProbe::found, ...start the run with the
//           address; source Machine means the judge gave none, and the
//           front end says JudgeNotReachableText...);
//   if (!probe.Find(judgeURL, timeoutText)) ...start the run at once with
//           probe.Address();
// The judge URL goes to the HTTP client as the check run hands it over, so
// a scheme is handled as the client handles it for the run's requests.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QtGlobal>

namespace net {
class THttpCli;
class TWait;
} // namespace net

namespace analyser {

enum class TOwnAddressSource { Typed, Judge, Machine };

class TOwnAddressProbe : public QObject
{
    Q_OBJECT

public:
    // The status line when the judge gave no address.
    static constexpr const char *JudgeNotReachableText =
        "Own address from this machine: judge not reachable";
    // What the status line shows while a start waits for the judge.
    static constexpr const char *AskingJudgeText = "Asking the judge for the own address";

    explicit TOwnAddressProbe(QObject *parent = nullptr);
    ~TOwnAddressProbe() override;

    // This machine's own address: the fallback, and the address until a
    // judge has answered.
    void SetMachineAddress(const QString &address);
    // An address the user typed: from now on it is the own address and no
    // judge is asked. An ask under way is dropped and `found` reports the
    // typed address at once, so that a start waiting for it goes on.
    void SetTyped(const QString &address);
    bool IsTyped() const { return FTyped; }
    // The address in force.
    const QString &Address() const { return FAddress; }

    // Asks the judge at `judgeURL` directly; the request is abandoned after
    // the timeout (seconds as text, the wait timer's rule; empty gives 8).
    // Returns false and asks nothing when the address was typed or judges
    // are not to be asked (Address() holds). Otherwise true, and `found`
    // follows from the event loop, never inside this call. An ask still
    // under way is dropped first: its answer is never reported.
    bool Find(const QByteArray &judgeURL, const QString &timeoutText);
    // As above, asking the judges in turn (each with the whole timeout)
    // until one answers with a judge page; `found` follows once, after the
    // last ask. The first judge alone behaves as the one of Find above.
    bool Find(const QList<QByteArray> &judges, const QString &timeoutText);
    // After `found` from an ask: the judge whose page came back, empty when
    // none answered with a judge page (the typed address, or the ask was
    // not made, leave it empty too).
    const QByteArray &Judge() const { return FJudge; }
    // Drops the ask under way: no `found` follows and the address stays.
    void Cancel();
    bool IsAsking() const { return FClient != nullptr; }

    // Tick period of the ask's wait timer in milliseconds (1000 by default).
    // Tests shorten it.
    void SetWaitInterval(quint16 ms) { FWaitInterval = ms; }
    // Local address the ask's connection comes from ("0.0.0.0", any, by
    // default). For tests and the command line, like the check run's.
    void SetLocalAddr(const QByteArray &addr) { FLocalAddr = addr; }
    // Whether an "https" judge must show a valid certificate for its host
    // (on by default). Front ends set it as for the run's own requests, so
    // that a judge the run takes is never refused by the ask alone.
    void SetVerifyCertificates(bool verify) { FVerifyCertificates = verify; }

Q_SIGNALS:
    // An ask ended (or a typed address ended it): the address now in force
    // and where it came from.
    void found(const QString &address, analyser::TOwnAddressSource source);

private:
    void Ask();
    void Done(net::THttpCli *client);
    void Release();

    QString FMachineAddress;
    QString FAddress;
    bool FTyped = false;
    QList<QByteArray> FJudges; // still to ask, the one under way first
    QByteArray FJudge;
    QString FTimeoutText;
    net::THttpCli *FClient = nullptr;
    net::TWait *FWait = nullptr;
    QByteArray FPage;
    bool FPageTooLarge = false;
    quint16 FWaitInterval;
    QByteArray FLocalAddr = QByteArrayLiteral("0.0.0.0");
    bool FVerifyCertificates = true;
};

} // namespace analyser
