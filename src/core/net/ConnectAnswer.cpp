#include "ConnectAnswer.h"

#include "util/Limits.h"

#include <cstring>

namespace net {

namespace {

bool IsDigit(char C)
{
    return C >= '0' && C <= '9';
}

} // namespace

TConnectAnswer::TResult TConnectAnswer::Failed(const char *Reason)
{
    FError = QByteArray(Reason);
    FLine.clear();
    return TResult::Failed;
}

TConnectAnswer::TResult TConnectAnswer::Feed(const char *Data, qint32 Len)
{
    if (!FError.isEmpty())
        return TResult::Failed;
    qint32 At = 0;
    while (At < Len) {
        const char *Start = Data + At;
        const auto *Lf = static_cast<const char *>(std::memchr(Start, '\n', size_t(Len - At)));
        const qint32 Piece = Lf ? qint32(Lf - Start) : Len - At;
        if (std::memchr(Start, 0, size_t(Piece)))
            return Failed("NUL byte in HTTP header");
        // A line and its end must fit what a response header line may be.
        if (FLine.size() + Piece + 1 > limits::MaxHeaderLineBytes)
            return Failed("HTTP line too long");
        FHeaderBytes += Piece + (Lf ? 1 : 0);
        if (FHeaderBytes > limits::MaxHeaderBytes)
            return Failed("HTTP header too large");
        FLine.append(Start, Piece);
        At += Piece;
        if (!Lf)
            break;
        ++At; // the LF
        if (FLine.endsWith('\r'))
            FLine.chop(1);
        const QByteArray Line = FLine;
        FLine.clear();
        const TResult R = TakeLine(Line);
        if (R == TResult::Done)
            FRest = QByteArray(Data + At, Len - At);
        if (R != TResult::More)
            return R;
    }
    return TResult::More;
}

TConnectAnswer::TResult TConnectAnswer::TakeLine(const QByteArray &Line)
{
    if (FLines == 0) {
        // "HTTP/1.x", a space, three digits, then a space and the reason.
        const bool Status = Line.size() >= 12 && Line.startsWith("HTTP/") && IsDigit(Line[5]) &&
                            Line[6] == '.' && IsDigit(Line[7]) && Line[8] == ' ' &&
                            IsDigit(Line[9]) && IsDigit(Line[10]) && IsDigit(Line[11]) &&
                            (Line.size() == 12 || Line[12] == ' ');
        if (!Status)
            return Failed("Invalid answer to CONNECT");
        FStatusCode = (Line[9] - '0') * 100 + (Line[10] - '0') * 10 + (Line[11] - '0');
        FReasonPhrase = Line.mid(13);
        ++FLines;
        return TResult::More;
    }
    if (Line.isEmpty())
        return TResult::Done;
    if (++FLines > limits::MaxHeaderLines)
        return Failed("HTTP header too large");
    return TResult::More;
}

} // namespace net
