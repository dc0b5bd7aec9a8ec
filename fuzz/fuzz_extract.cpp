// Proxy extraction over arbitrary page bytes. The first byte chooses whether
// special extraction may run; the rest is the page. Besides the sanitizers,
// the results are checked against what extraction promises.
#include "leecher/Extraction.h"
#include "leecher/PageRegex.h"

#include <QByteArrayView>

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace leecher;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAsciiAlnum(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool fallback = data[0] & 1;
    const QByteArrayView page(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const TExtraction found = ExtractProxies(page, fallback);
    Check(qsizetype(found.Proxies.size()) <= found.Count);
    Check(found.Pattern >= 0 && found.Pattern <= kPatternCount);
    Check(fallback || found.Pattern <= 1);
    for (const TProxyItem &proxy : found.Proxies) {
        Check(!proxy.Host.isEmpty() && IsAsciiAlnum(proxy.Host.front()));
        Check(!proxy.Host.contains(':') && !proxy.Host.contains('\r') &&
              !proxy.Host.contains('\n') && !proxy.Host.contains('\0'));
        Check(proxy.Port.size() >= 1 && proxy.Port.size() <= 5);
        int value = 0;
        for (char c : proxy.Port) {
            Check(IsDigit(c));
            value = value * 10 + (c - '0');
        }
        Check(value >= 21 && value <= 65555);
    }

    // The hand-made search for the first pattern finds exactly what the
    // pattern engine finds.
    const std::vector<QByteArrayView> plain = FindPlainMatches(page);
    const std::vector<QByteArrayView> engine = ProxyPattern(1).FindAll(page);
    Check(plain.size() == engine.size());
    for (size_t i = 0; i < plain.size(); ++i)
        Check(plain[i].data() == engine[i].data() && plain[i].size() == engine[i].size());

    const TSParseResult parsed = SParse(page);
    Check(parsed.Candidates.size() <= parsed.Count);
    for (const QByteArray &candidate : parsed.Candidates)
        Check(candidate.contains(':') && !candidate.contains('\r') && !candidate.contains('\n'));
    return 0;
}
