// Arbitrary proxy answers to CONNECT: no crash, the answer is read the same
// whether it arrives whole or in pieces, and what it holds stays bounded.
//
// Input: the first byte chooses the piece size (1 to 256), the rest is what
// the proxy sends.
#include "net/ConnectAnswer.h"
#include "util/Limits.h"

#include <cstdint>
#include <cstdlib>

using net::TConnectAnswer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 1)
        return 0;
    const int Step = int(Data[0]) + 1;
    const QByteArray Bytes(reinterpret_cast<const char *>(Data + 1), qsizetype(Size - 1));

    TConnectAnswer Whole;
    const TConnectAnswer::TResult W = Whole.Feed(Bytes.constData(), qint32(Bytes.size()));

    TConnectAnswer Pieces;
    TConnectAnswer::TResult P = TConnectAnswer::TResult::More;
    qsizetype Taken = 0;
    for (qsizetype At = 0; At < Bytes.size() && P == TConnectAnswer::TResult::More; At += Step) {
        const qint32 Len = qint32(std::min<qsizetype>(Step, Bytes.size() - At));
        P = Pieces.Feed(Bytes.constData() + At, Len);
        Taken = At + Len;
        if (Pieces.BytesHeld() > limits::MaxHeaderLineBytes + Step)
            std::abort();
    }
    if (P != W || Pieces.Error() != Whole.Error())
        std::abort();
    if (W == TConnectAnswer::TResult::Done) {
        if (Whole.StatusCode() < 0 || Whole.StatusCode() > 999)
            std::abort();
        if (Pieces.StatusCode() != Whole.StatusCode() ||
            Pieces.ReasonPhrase() != Whole.ReasonPhrase())
            std::abort();
        // The tunnel's bytes are the input's tail, the same either way.
        if (!Bytes.endsWith(Whole.Rest()))
            std::abort();
        if (Pieces.Rest() + Bytes.mid(Taken) != Whole.Rest())
            std::abort();
    }
    return 0;
}
