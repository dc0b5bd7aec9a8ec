// Arbitrary bytes as a request to the judge: no crash; the head is found
// the same whether the bytes come at once or in pieces; and whatever the
// header lines hold, the page still gives the analyser the connection's
// address and the judge's level.
//
// Input: the first byte sets the piece size, the rest is the request.
#include "JudgeLevel.h"
#include "JudgePage.h"
#include "JudgeRequest.h"
#include "analyser/JudgeAnalysis.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size == 0)
        return 0;
    const qsizetype Step = Data[0] % 16 + 1;
    const QByteArray Input(reinterpret_cast<const char *>(Data + 1), qsizetype(Size - 1));
    judge::TJudgeLimits Limits;
    Limits.HeaderBytes = 2048;
    Limits.HeaderLines = 20;

    judge::THeadScanner Whole(Limits), Pieces(Limits);
    const auto State = Whole.Scan(Input);
    auto PieceState = judge::THeadScanner::Incomplete;
    for (qsizetype N = Step; PieceState == judge::THeadScanner::Incomplete; N += Step) {
        PieceState = Pieces.Scan(QByteArrayView(Input).first(std::min(N, Input.size())));
        if (N >= Input.size())
            break;
    }
    if (State != PieceState)
        std::abort();
    if (State != judge::THeadScanner::Complete)
        return 0;
    if (Whole.HeadSize() != Pieces.HeadSize() || Whole.HeadSize() > Limits.HeaderBytes)
        std::abort();

    judge::TRequestHead Request;
    if (judge::ParseRequestHead(QByteArrayView(Input).first(Whole.HeadSize()), Request) != 0)
        return 0;
    if (Request.Headers.size() > size_t(Limits.HeaderLines))
        std::abort();
    const QByteArray Peer = "198.51.100.7";
    const judge::TAnonyLevel Level = judge::JudgeLevel(Request.Headers, Peer, {"203.0.113.9"});
    const QByteArray Page = judge::JudgePage(Request, Peer, 4242, Level);
    if (analyser::Gateway(Page).Text != Peer ||
        analyser::GetLevel(Page).Text != QByteArray::number(int(Level)) || Page.contains('\0'))
        std::abort();
    return 0;
}
