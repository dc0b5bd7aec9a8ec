// Arbitrary bytes as the page a judge (or a proxy pretending to be one)
// sends back: no crash, and whatever the page holds, a verdict within its
// bounds: the address a judge of another form saw is an IP address, the
// graded level one of 1 to 5, the own address a dotted IPv4 one or none.
#include "analyser/JudgeAnalysis.h"
#include "analyser/JudgeFormats.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QByteArray Page(reinterpret_cast<const char *>(Data), qsizetype(Size));
    const analyser::TJudgeEnvironment Env = analyser::ReadJudgeEnvironment(Page);
    const bool Graded = Env.Format == analyser::TJudgeFormat::AzEnvironment ||
                        Env.Format == analyser::TJudgeFormat::Json;
    if (Graded) {
        const std::string Address = Env.RemoteAddr.toStdString();
        unsigned char Buffer[16];
        if (inet_pton(AF_INET, Address.c_str(), Buffer) != 1 &&
            inet_pton(AF_INET6, Address.c_str(), Buffer) != 1)
            std::abort();
        const int Level = analyser::GradeEnvironment(Env, {"203.0.113.9"});
        if (Level < 1 || Level > 5)
            std::abort();
    }
    analyser::TProxyItem Entry{"198.51.100.7", "80"};
    analyser::TCheckRunState Totals;
    analyser::JudgeAnswer(Page, "203.0.113.9", Entry, Totals);
    if (Totals.GoodCount + Totals.BadCount != 1 || (Graded && Entry.RemoteAddr != Env.RemoteAddr))
        std::abort();
    // Dotted decimal: four numbers (leading zeros are the judge's business).
    const QByteArray Own = analyser::JudgedAddress(Page);
    if (!Own.isEmpty() && (Own.count('.') != 3 || !std::all_of(Own.begin(), Own.end(), [](char c) {
                               return c == '.' || (c >= '0' && c <= '9');
                           })))
        std::abort();
    return 0;
}
