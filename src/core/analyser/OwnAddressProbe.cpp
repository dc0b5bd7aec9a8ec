#include "analyser/OwnAddressProbe.h"

#include "analyser/CheckRun.h"
#include "analyser/JudgeAnalysis.h"
#include "analyser/JudgeFallback.h"
#include "analyser/OwnAddress.h"
#include "net/HttpProt.h"
#include "net/Wait.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace analyser {

using net::THttpCli;
using net::TWait;

TOwnAddressProbe::TOwnAddressProbe(QObject *parent)
    : QObject(parent), FWaitInterval(TWait::DefaultInterval())
{
}

TOwnAddressProbe::~TOwnAddressProbe()
{
    Release();
}

void TOwnAddressProbe::SetMachineAddress(const QString &address)
{
    FMachineAddress = address;
    if (!FTyped)
        FAddress = address;
}

void TOwnAddressProbe::SetTyped(const QString &address)
{
    FTyped = true;
    FAddress = address;
    if (!IsAsking())
        return;
    Release();
    Q_EMIT found(FAddress, TOwnAddressSource::Typed);
}

bool TOwnAddressProbe::Find(const QByteArray &judgeURL, const QString &timeoutText)
{
    return Find(QList<QByteArray>{judgeURL}, timeoutText);
}

bool TOwnAddressProbe::Find(const QList<QByteArray> &judges, const QString &timeoutText)
{
    Release();
    FJudge.clear();
    if (FTyped || !OwnAddressSources().askJudges || judges.isEmpty())
        return false;
    FJudges = judges;
    FTimeoutText = timeoutText;
    Ask();
    return true;
}

void TOwnAddressProbe::Ask()
{
    FPage.clear();
    FPageTooLarge = false;
    FClient = new THttpCli(this);
    FClient->SetURL(FJudges.front());
    FClient->SetLocalAddr(FLocalAddr);
    FClient->SetVerifyCertificates(FVerifyCertificates);
    FClient->OnDocData = [this](THttpCli *client, const char *buffer, qint32 len) {
        if (client != FClient || FPageTooLarge)
            return;
        // Each piece is text up to its first NUL byte, as the run reads it.
        const qsizetype piece = qsizetype(qstrnlen(buffer, uint(std::max(len, 0))));
        if (FPage.size() + piece > TCheckRun::MaxJudgePage) {
            // No judge sends that much: the answer does not count.
            FPageTooLarge = true;
            FPage = QByteArray();
            client->Abort();
            return;
        }
        FPage.append(buffer, piece);
    };
    FClient->OnRequestDone = [this](THttpCli *client, net::THttpRequest, quint16) { Done(client); };
    FWait = new TWait(FClient);
    FWait->SetInterval(FWaitInterval);
    FWait->SetCaption(FTimeoutText.isEmpty() ? QStringLiteral("8") : FTimeoutText);
    // The countdown is not restarted by the page's pieces, so it bounds the
    // ask by itself; the deadline holds it to the rule of every request.
    FWait->SetRequestDeadline();
    FWait->OnTimeout = [this](TWait *) {
        if (FClient)
            FClient->Abort(); // its completion follows and falls back
    };
    FWait->Start();
    // Even a request that cannot start (a malformed address) ends through a
    // posted completion, so `found` never comes from inside this call.
    FClient->StartGet();
}

void TOwnAddressProbe::Cancel()
{
    FJudges.clear();
    Release();
}

void TOwnAddressProbe::Done(THttpCli *client)
{
    if (client != FClient)
        return;
    const bool answered = client->StatusCode() == 200 && !FPageTooLarge && IsJudgePage(FPage);
    const QByteArray judged = answered ? JudgedAddress(FPage) : QByteArray();
    const QByteArray judge = FJudges.takeFirst();
    Release();
    if (!answered && !FJudges.isEmpty()) {
        Ask(); // the next judge of the list
        return;
    }
    FJudges.clear();
    FJudge = answered ? judge : QByteArray();
    const TOwnAddressSource source =
        judged.isEmpty() ? TOwnAddressSource::Machine : TOwnAddressSource::Judge;
    FAddress = judged.isEmpty() ? FMachineAddress : QString::fromLatin1(judged);
    Q_EMIT found(FAddress, source);
}

void TOwnAddressProbe::Release()
{
    THttpCli *client = std::exchange(FClient, nullptr);
    TWait *wait = std::exchange(FWait, nullptr);
    FPage = QByteArray();
    if (!client)
        return;
    if (wait) {
        wait->Stop();
        wait->OnTimeout = nullptr;
    }
    client->OnDocData = nullptr;
    client->OnRequestDone = nullptr;
    // Closes a connection still open; the completion it posts has no handler.
    // This may run inside the client's own completion: it goes (with its
    // timer) once that has returned.
    client->Abort();
    client->deleteLater();
}

} // namespace analyser
