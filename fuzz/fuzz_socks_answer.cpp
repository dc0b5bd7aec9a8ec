// Arbitrary SOCKS proxy answers: no crash, the outcome and the messages sent
// are the same whether the answers arrive whole or in pieces, and what is
// held stays within the longest answer.
//
// Input: the first byte chooses the piece size (1 to 256), the second the
// version (its value modulo 3: 4, 4A, 5) and, when odd, credentials; the
// rest is what the proxy sends.
#include "net/SocksAnswer.h"

#include <cstdint>
#include <cstdlib>

using net::TSocksAnswer;

namespace {

struct TRun
{
    TSocksAnswer::TResult Result;
    QByteArray Sent, Error, Rest;
    qint32 Code;
};

TRun Negotiate(TSocksAnswer::TLevel Level, bool Creds, const QByteArray &Bytes, int Step)
{
    TSocksAnswer A(Level, Level == TSocksAnswer::TLevel::Socks4 ? "10.0.0.1" : "judge.example",
                   8080, Creds ? "user" : "", Creds ? "pass" : "");
    TRun R{TSocksAnswer::TResult::More, A.Start(), {}, {}, 0};
    for (qsizetype At = 0; At < Bytes.size() && R.Result == TSocksAnswer::TResult::More;
         At += Step) {
        const qint32 Len = qint32(std::min<qsizetype>(Step, Bytes.size() - At));
        R.Result = A.Feed(Bytes.constData() + At, Len);
        R.Sent += A.TakeOutput();
        // One answer at most, the credentials and the request.
        if (A.BytesHeld() - A.Rest().size() > 262 + 600)
            std::abort();
        if (R.Result == TSocksAnswer::TResult::Done)
            R.Rest = A.Rest() + Bytes.mid(At + Len);
    }
    R.Error = A.Error();
    R.Code = A.ErrorCode();
    return R;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 2)
        return 0;
    const int Step = int(Data[0]) + 1;
    const TSocksAnswer::TLevel Level = Data[1] % 3 == 0   ? TSocksAnswer::TLevel::Socks4
                                       : Data[1] % 3 == 1 ? TSocksAnswer::TLevel::Socks4A
                                                          : TSocksAnswer::TLevel::Socks5;
    const bool Creds = Data[1] & 1;
    const QByteArray Bytes(reinterpret_cast<const char *>(Data + 2), qsizetype(Size - 2));
    const TRun Whole = Negotiate(Level, Creds, Bytes, int(Bytes.size()) + 1);
    const TRun Pieces = Negotiate(Level, Creds, Bytes, Step);
    if (Whole.Result != Pieces.Result || Whole.Sent != Pieces.Sent || Whole.Error != Pieces.Error ||
        Whole.Code != Pieces.Code)
        std::abort();
    if (Whole.Result == TSocksAnswer::TResult::Done && Whole.Rest != Pieces.Rest)
        std::abort();
    if (Whole.Result == TSocksAnswer::TResult::Failed && Whole.Error.isEmpty())
        std::abort();
    return 0;
}
