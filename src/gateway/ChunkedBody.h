// Where a chunked request body ends, found as its bytes pass through: the
// gateway relays the chunks as they come and stops at the last one, so that
// nothing the client sends after the body goes upstream as part of it.
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace gateway {

// Chunk sizes are hexadecimal; more digits than this are no size.
inline constexpr int MaxChunkSizeDigits = 15;
// A chunk extension, and the trailer lines after the last chunk, at most.
inline constexpr qsizetype MaxChunkOverhead = 16 * 1024;

class TChunkedBody
{
public:
    enum TState { More, Done, Bad };

    // Looks at the next bytes of the body. `used` is how many of them belong
    // to it: all of them while More, up to the end of the body when Done.
    // Bad: the framing is broken; nothing may be fed after Done or Bad.
    TState Feed(QByteArrayView bytes, qsizetype &used);

private:
    enum TStep { Size, Extension, SizeEnd, Data, DataCr, DataLf, TrailerStart, Trailer, LastLf };

    TStep FStep = Size;
    int FDigits = 0;
    qint64 FLeft = 0; // of the chunk's data
    qsizetype FOverhead = 0;
};

} // namespace gateway
