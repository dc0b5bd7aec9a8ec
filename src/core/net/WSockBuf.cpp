#include "WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace net {

TBuffer::TBuffer(qint32 Size) : FSize(Size > 0 ? Size : 1514)
{
    FBuf = std::make_unique<char[]>(static_cast<size_t>(FSize));
}

qint32 TBuffer::Write(const char *Data, qint32 Len)
{
    if (Len <= 0 || Data == nullptr)
        return 0;
    const qint32 Count = std::min(Len, FSize - FWrCount);
    if (Count <= 0)
        return 0;
    std::memcpy(FBuf.get() + FWrCount, Data, static_cast<size_t>(Count));
    FWrCount += Count;
    return Count;
}

qint32 TBuffer::Peek(const char *&Data) const
{
    Data = FBuf.get() + FRdCount;
    return FWrCount - FRdCount;
}

void TBuffer::Remove(qint32 Len)
{
    if (Len <= 0)
        return;
    FRdCount = std::min(FRdCount + Len, FWrCount);
    if (FRdCount >= FWrCount)
        FWrCount = FRdCount = 0;
}

} // namespace net
