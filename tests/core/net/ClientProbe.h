// Records what a THttpCli reports, for the HTTP client tests.
#pragma once

#include "net/HttpProt.h"
#include "support/EventLoop.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

struct ClientProbe
{
    explicit ClientProbe(net::THttpCli &C) : Client(C)
    {
        C.OnHeaderBegin = [this](net::THttpCli *) { Events.push_back("HeaderBegin"); };
        C.OnHeaderData = [this](net::THttpCli *S) {
            Events.push_back("HeaderData:" + S->LastReceived().toStdString());
        };
        C.OnHeaderEnd = [this](net::THttpCli *) { Events.push_back("HeaderEnd"); };
        C.OnDocBegin = [this](net::THttpCli *) { Events.push_back("DocBegin"); };
        C.OnDocData = [this](net::THttpCli *, const char *Buffer, qint32 Len) {
            Pieces.push_back(QByteArray(Buffer, Len));
            NulAfterEveryPiece = NulAfterEveryPiece && Buffer[Len] == '\0';
            Body += QByteArray(Buffer, Len);
        };
        C.OnDocEnd = [this](net::THttpCli *) { Events.push_back("DocEnd"); };
        C.OnLocationChange = [this](net::THttpCli *S) {
            Events.push_back("LocationChange:" + S->Location().toStdString());
        };
        C.OnSessionConnected = [this](net::THttpCli *) { Events.push_back("SessionConnected"); };
        C.OnRequestDone = [this](net::THttpCli *S, net::THttpRequest Rq, quint16 Error) {
            ++Done;
            LastRq = Rq;
            LastError = Error;
            Status = S->StatusCode();
            Reason = S->ReasonPhrase();
            StateAtDone = S->State();
            Events.push_back("RequestDone");
        };
    }

    bool waitDone(int Count = 1, int TimeoutMs = 5000)
    {
        return testsupport::waitUntil([&] { return Done >= Count; }, TimeoutMs);
    }

    bool hasEvent(const std::string &E) const
    {
        for (const auto &X : Events) {
            if (X == E)
                return true;
        }
        return false;
    }

    net::THttpCli &Client;
    std::vector<std::string> Events;
    std::vector<QByteArray> Pieces;
    QByteArray Body;
    bool NulAfterEveryPiece = true;
    int Done = 0;
    net::THttpRequest LastRq = net::httpAbort;
    quint16 LastError = 0;
    qint32 Status = -1;
    QByteArray Reason;
    net::THttpState StateAtDone = net::hsAborting;
};
