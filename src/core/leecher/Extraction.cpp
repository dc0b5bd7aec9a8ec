#include "leecher/Extraction.h"

#include "leecher/PageRegex.h"

#include <array>
#include <cctype>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace leecher {

namespace {

// Character sets of the patterns:
//   A  letters, digits, underscore, hyphen, at sign, dot      [_a-zA-Z0-9\-@.]
//   B  letters, digits, underscore, hyphen                    [_a-zA-Z0-9\-]
//   C  B, dot, space, TAB, LF, CR, form feed                  [_a-zA-Z0-9\-.\t\n\f\r ]
//   D  B, dot, slash                                          [_a-zA-Z0-9\-./]
//   E  B, dot                                                 [_a-zA-Z0-9\-.]
//   W  one white-space character: space, TAB, LF, CR, FF      [\t\n\f\r ]
constexpr std::array<std::string_view, kPatternCount> kPatterns = {
    // 1: A+ . B+ . C+ : digits
    R"([_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-]+[.][_a-zA-Z0-9\-.\t\n\f\r ]+:[0-9]+)",
    // 2: a row start, then a cell with A+ . B+ . C+ and a cell with B+
    R"(<tr>[\t\n\f\r ]+<td>[_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-]+[.][_a-zA-Z0-9\-.\t\n\f\r ]+)"
    R"(</td>[\t\n\f\r ]+<td>[_a-zA-Z0-9\-]+</td>)",
    // 3: A+ . A+ . B+ . D+, a cell end, the shortest run of anything, the next cell end
    R"([_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-]+[.][_a-zA-Z0-9\-./]+)"
    R"(</td>.*?</td>)",
    // 4: a cell with A+ . A+ . B+ . E+ padded by white space, then a cell start and E+
    R"(<td>[\t\n\f\r ]+[_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-]+[.])"
    R"([_a-zA-Z0-9\-.]+[\t\n\f\r ]+</td>[\t\n\f\r ]+<td>[\t\n\f\r ]+[_a-zA-Z0-9\-.]+)",
    // 5: A+ . A+ . B+ . D+ closing a bold cell, then a cell with B+
    R"([_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-]+[.][_a-zA-Z0-9\-./]+)"
    R"(</b></td>[\t\n\f\r ]+<td>[_a-zA-Z0-9\-]+</td>)",
};

bool IsAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// Removes every tag: from each "<" up to and including the next ">". A "<"
// without a ">" after it drops the rest of the line.
QByteArray StripTags(QByteArrayView line)
{
    QByteArray out;
    out.reserve(line.size());
    qsizetype i = 0;
    while (i < line.size()) {
        const qsizetype open = line.indexOf('<', i);
        if (open < 0) {
            out.append(line.sliced(i));
            break;
        }
        out.append(line.sliced(i, open - i));
        const qsizetype close = line.indexOf('>', open + 1);
        if (close < 0)
            break;
        i = close + 1;
    }
    return out;
}

QByteArrayView Trimmed(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

} // namespace

std::string_view ProxyPatternText(int number)
{
    Q_ASSERT(number >= 1 && number <= kPatternCount);
    return kPatterns[size_t(number - 1)];
}

const TPageRegex &ProxyPattern(int number)
{
    static const auto compiled = [] {
        std::array<std::unique_ptr<TPageRegex>, kPatternCount> all;
        for (int n = 1; n <= kPatternCount; ++n)
            all[size_t(n - 1)] = std::make_unique<TPageRegex>(ProxyPatternText(n));
        return all;
    }();
    Q_ASSERT(number >= 1 && number <= kPatternCount);
    return *compiled[size_t(number - 1)];
}

QByteArray DeleteSpaces(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ')
            out.append(c);
    }
    return out;
}

// Direct byte searches: a page's hundreds of candidates make the generic
// QByteArrayView search's overhead show.
qsizetype IndexOfByte(QByteArrayView text, char c)
{
    if (text.isEmpty())
        return -1;
    const void *at = std::memchr(text.data(), c, size_t(text.size()));
    return at ? static_cast<const char *>(at) - text.data() : -1;
}

bool AddProxy(QByteArrayView candidate, TProxyList &list)
{
    const qsizetype colon = IndexOfByte(candidate, ':');
    // Every candidate the patterns produce holds a colon; anything else has no host.
    if (colon < 0)
        return false;
    const QByteArrayView host = candidate.first(colon);
    const QByteArrayView port = candidate.sliced(colon + 1);
    if (port.isEmpty() || port.size() > 5)
        return false;
    int value = 0;
    for (char c : port) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 21 || value > 65555)
        return false;
    if (!IsAsciiAlnum(candidate.front()))
        return false;
    // A line break inside the host (white space of the third name part spans
    // lines) would split the entry in every one-proxy-per-line file and on the
    // clipboard, so such a candidate is not a proxy.
    for (char c : host) {
        if (c == '\r' || c == '\n')
            return false;
    }
    list.push_back(TProxyItem{host, port});
    return true;
}

TSParseResult SParse(QByteArrayView text)
{
    text = TPageRegex::UpToNul(text);

    // Lines end at CR, LF or CR LF; tags are removed, the rest trimmed, blanks dropped.
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n')
            ++end;
        const QByteArray cleaned = StripTags(text.sliced(start, end - start));
        const QByteArrayView trimmed = Trimmed(cleaned);
        if (!trimmed.isEmpty())
            lines.append(trimmed.toByteArray());
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }

    // A dotted line is kept as it is; a line of digits (other characters
    // ignored) is joined to the entry at the line's own position minus one.
    struct Entry
    {
        QByteArray text;      // empty for a join onto an entry with a colon
        bool colon = false;   // the entry holds a colon
        bool counted = false; // a join onto an entry with a colon: counted, not built
    };
    std::vector<Entry> result;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.contains('.')) {
            result.push_back(Entry{line, line.contains(':'), false});
            continue;
        }
        QByteArray digits;
        for (char c : line) {
            if (c >= '0' && c <= '9')
                digits.append(c);
        }
        // No digits, or no entry at position i - 1 (the first line, or earlier
        // lines yielded nothing): the line yields nothing.
        if (digits.isEmpty() || i == 0 || size_t(i - 1) >= result.size())
            continue;
        const Entry &base = result[size_t(i - 1)];
        if (base.colon)
            result.push_back(Entry{QByteArray(), true, true});
        else
            result.push_back(Entry{base.text + ':' + digits, true, false});
    }

    TSParseResult out;
    for (Entry &entry : result) {
        if (!entry.colon)
            continue;
        ++out.Count;
        if (!entry.counted)
            out.Candidates.append(std::move(entry.text));
    }
    return out;
}

namespace {

// Pattern 1 without a pattern engine. Its sets (A, B, C and the digits) hold
// no colon, so a match starting at s runs up to the first colon at or after
// s, which must be followed by a digit, and the greedy digits after it take
// them all: where a match ends is fixed by its colon. What remains is the
// leftmost start that the text before the colon parses from as
// A+ "." B+ "." C+. For a colon c the final C+ is a suffix of the run of
// C characters ending at c - 1; each dot j in that run, with B characters
// before it back to a dot i, and an A character before i, is a parse, and
// the earliest such j gives the earliest start (the start of the A run
// holding i - 1, but not before the search position). Every scan stops at
// the colon before, so each byte is looked at a bounded number of times.
// The differential tests hold this to a backtracking engine running the
// pattern itself.
struct TPlainSets
{
    std::array<bool, 256> A{}, B{}, C{}, Digit{};
    TPlainSets()
    {
        for (int c = 0; c < 256; ++c) {
            const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '_' || c == '-';
            B[size_t(c)] = word;
            A[size_t(c)] = word || c == '@' || c == '.';
            C[size_t(c)] =
                word || c == '.' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
            Digit[size_t(c)] = c >= '0' && c <= '9';
        }
    }
};

template <class F>
void ForEachPlainMatch(QByteArrayView page, F &&onMatch)
{
    static const TPlainSets sets;
    const auto in = [](const std::array<bool, 256> &set, char c) {
        return set[static_cast<unsigned char>(c)];
    };
    const char *text = page.data();
    const qsizetype size = page.size();
    qsizetype pos = 0; // matches start here or later
    while (pos < size) {
        const void *found = std::memchr(text + pos, ':', size_t(size - pos));
        if (!found)
            return;
        const qsizetype colon = static_cast<const char *>(found) - text;
        if (colon + 1 >= size || !in(sets.Digit, text[colon + 1])) {
            pos = colon + 1;
            continue;
        }
        qsizetype cRun = colon; // [cRun, colon) is all C
        while (cRun > pos && in(sets.C, text[cRun - 1]))
            --cRun;
        qsizetype start = -1;
        for (qsizetype dot = cRun; dot + 2 <= colon && start < 0; ++dot) {
            if (text[dot] != '.')
                continue;
            qsizetype bRun = dot; // [bRun, dot) is all B
            while (bRun > pos && in(sets.B, text[bRun - 1]))
                --bRun;
            const qsizetype firstDot = bRun - 1;
            if (bRun == dot || firstDot < pos + 1 || text[firstDot] != '.' ||
                !in(sets.A, text[firstDot - 1]))
                continue;
            start = firstDot - 1;
            while (start > pos && in(sets.A, text[start - 1]))
                --start;
        }
        if (start < 0) {
            pos = colon + 1;
            continue;
        }
        qsizetype end = colon + 1;
        while (end < size && in(sets.Digit, text[end]))
            ++end;
        onMatch(page.sliced(start, end - start));
        pos = end;
    }
}

} // namespace

std::vector<QByteArrayView> FindPlainMatches(QByteArrayView page)
{
    std::vector<QByteArrayView> matches;
    ForEachPlainMatch(TPageRegex::UpToNul(page), [&](QByteArrayView m) { matches.push_back(m); });
    return matches;
}

TExtraction ExtractProxies(QByteArrayView page, bool fallback)
{
    TExtraction out;
    const TExtractionCount counted = ExtractProxies(page, fallback, out.Proxies);
    out.Count = counted.Count;
    out.Pattern = counted.Pattern;
    return out;
}

TExtractionCount ExtractProxies(QByteArrayView page, bool fallback, TProxyList &into)
{
    TExtractionCount out;
    page = TPageRegex::UpToNul(page);

    ForEachPlainMatch(page, [&](QByteArrayView match) {
        if (match.contains(' '))
            AddProxy(DeleteSpaces(match), into);
        else
            AddProxy(match, into);
        ++out.Count;
    });
    if (out.Count > 0) {
        out.Pattern = 1;
        return out;
    }
    if (!fallback)
        return out;

    QByteArray joined;
    for (int number = 2; number <= kPatternCount && out.Pattern == 0; ++number) {
        ProxyPattern(number).ForEachMatch(page, [&](QByteArrayView match) {
            joined.append(match);
            joined.append("\r\n");
            out.Pattern = number;
            return true;
        });
    }
    if (out.Pattern == 0)
        return out;
    const TSParseResult parsed = SParse(joined);
    for (const QByteArray &candidate : parsed.Candidates)
        AddProxy(candidate, into);
    out.Count += parsed.Count;
    return out;
}

} // namespace leecher
