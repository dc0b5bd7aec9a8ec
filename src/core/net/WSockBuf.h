// One chunk of a socket's send queue: a fixed block that is filled at its end
// and drained from its front.
#pragma once

#include <QtGlobal>

#include <memory>

namespace net {

class TBuffer
{
public:
    // A size of 0 or less gives the default of 1514 bytes.
    explicit TBuffer(qint32 Size);

    qint32 Size() const { return FSize; }
    qint32 WrCount() const { return FWrCount; }
    qint32 RdCount() const { return FRdCount; }

    // Copies as many of the bytes as fit after those already stored and
    // returns how many were taken.
    qint32 Write(const char *Data, qint32 Len);
    // Points Data at the bytes not yet sent and returns their count.
    qint32 Peek(const char *&Data) const;
    // Marks Len bytes as sent; when everything stored has been sent the block
    // is empty again and can be refilled from its start.
    void Remove(qint32 Len);
    // Forgets everything stored.
    void Clear() { FWrCount = FRdCount = 0; }

private:
    std::unique_ptr<char[]> FBuf;
    qint32 FSize;
    qint32 FWrCount = 0;
    qint32 FRdCount = 0;
};

} // namespace net
