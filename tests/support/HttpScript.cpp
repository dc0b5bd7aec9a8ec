#include "support/HttpScript.h"

namespace testsupport {

Script &Script::send(const QByteArray &Bytes)
{
    FSteps.push_back({Step::Send, Bytes, 0, 0});
    return *this;
}

Script &Script::wait(int Ms)
{
    FSteps.push_back({Step::Wait, {}, Ms, 0});
    return *this;
}

Script &Script::close()
{
    FSteps.push_back({Step::Close, {}, 0, 0});
    return *this;
}

Script &Script::reset()
{
    FSteps.push_back({Step::Reset, {}, 0, 0});
    return *this;
}

Script &Script::keepOpen()
{
    FSteps.push_back({Step::KeepOpen, {}, 0, 0});
    return *this;
}

Script &Script::repeat(const QByteArray &Unit, qint64 Times, int PauseMs)
{
    FSteps.push_back({Step::Repeat, Unit, PauseMs, Times});
    return *this;
}

Script &Script::sendForever(const QByteArray &Chunk)
{
    return repeat(Chunk, -1);
}

Script Script::response(int Status, const QByteArray &Reason, const QList<QByteArray> &Headers,
                        const QByteArray &Body)
{
    QByteArray Head = "HTTP/1.0 " + QByteArray::number(Status) + ' ' + Reason + "\r\n";
    for (const QByteArray &H : Headers)
        Head += H + "\r\n";
    Head += "\r\n";
    Script S;
    S.send(Head + Body);
    return S;
}

Script &Script::sendInPieces(const QByteArray &Bytes, int PieceSize, int Ms)
{
    for (qsizetype I = 0; I < Bytes.size(); I += PieceSize) {
        if (I > 0)
            wait(Ms);
        send(Bytes.mid(I, PieceSize));
    }
    return *this;
}

QByteArray HttpRequest::header(const QByteArray &Name) const
{
    for (const auto &H : headers) {
        if (H.first.compare(Name, Qt::CaseInsensitive) == 0)
            return H.second;
    }
    return {};
}

bool HttpRequest::hasHeader(const QByteArray &Name) const
{
    for (const auto &H : headers) {
        if (H.first.compare(Name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

HttpRequest HttpRequest::parse(const QByteArray &Raw)
{
    HttpRequest R;
    R.raw = Raw;
    QByteArray Head = Raw;
    const qsizetype End = Head.indexOf("\r\n\r\n");
    if (End >= 0)
        Head.truncate(End);
    R.lines = Head.split('\n');
    for (QByteArray &L : R.lines) {
        if (L.endsWith('\r'))
            L.chop(1);
    }
    if (R.lines.isEmpty())
        return R;
    const QList<QByteArray> Parts = R.lines.first().split(' ');
    if (Parts.size() > 0)
        R.method = Parts[0];
    if (Parts.size() > 1)
        R.target = Parts[1];
    if (Parts.size() > 2)
        R.version = Parts[2];
    for (qsizetype I = 1; I < R.lines.size(); ++I) {
        const qsizetype Colon = R.lines[I].indexOf(':');
        if (Colon < 0)
            continue;
        R.headers.append({R.lines[I].left(Colon), R.lines[I].mid(Colon + 1).trimmed()});
    }
    return R;
}

} // namespace testsupport
