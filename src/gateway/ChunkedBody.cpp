#include "ChunkedBody.h"

#include <algorithm>

namespace gateway {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

TChunkedBody::TState TChunkedBody::Feed(QByteArrayView bytes, qsizetype &used)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (FStep == Data) {
            const qint64 take = std::min<qint64>(FLeft, bytes.size() - i);
            FLeft -= take;
            i += take;
            if (FLeft == 0)
                FStep = DataCr;
            continue;
        }
        const char c = bytes[i++];
        switch (FStep) {
        case Size:
            if (HexValue(c) >= 0 && FDigits < MaxChunkSizeDigits) {
                FLeft = FLeft * 16 + HexValue(c);
                ++FDigits;
            } else if (FDigits > 0 && (c == ';' || c == ' ' || c == '\t')) {
                FStep = Extension;
            } else if (FDigits > 0 && c == '\r') {
                FStep = SizeEnd;
            } else {
                return Bad;
            }
            break;
        case Extension:
            if (++FOverhead > MaxChunkOverhead)
                return Bad;
            if (c == '\r')
                FStep = SizeEnd;
            break;
        case SizeEnd:
            if (c != '\n')
                return Bad;
            FDigits = 0;
            FStep = FLeft > 0 ? Data : TrailerStart;
            break;
        case DataCr:
            if (c != '\r')
                return Bad;
            FStep = DataLf;
            break;
        case DataLf:
            if (c != '\n')
                return Bad;
            FStep = Size;
            break;
        case TrailerStart:
            // An empty line ends the body; anything else is a trailer line.
            FStep = c == '\r' ? LastLf : Trailer;
            break;
        case Trailer:
            if (++FOverhead > MaxChunkOverhead)
                return Bad;
            if (c == '\n')
                FStep = TrailerStart;
            break;
        case LastLf:
            if (c != '\n')
                return Bad;
            used = i;
            return Done;
        case Data:
            break;
        }
    }
    used = i;
    return More;
}

} // namespace gateway
