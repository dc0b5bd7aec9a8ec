// Pattern search over downloaded page text with one fixed set of matching rules.
#pragma once

#include <QByteArrayView>

#include <memory>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace leecher {

// A compiled pattern that searches page text as bytes:
//  - leftmost-first, greedy and lazy quantifiers as a backtracking engine picks them;
//  - case-sensitive; "." also matches CR and LF;
//  - successive matches never overlap: each further search starts where the
//    previous match ended;
//  - the text is searched only up to its first NUL byte.
// The search time is linear in the length of the text, whatever the page holds,
// because pages come from strangers. Patterns use RE2 syntax; character classes
// must be spelled out (no "\s": write the five characters explicitly).
// Instances are immutable once built and may be shared between threads.
class TPageRegex
{
public:
    explicit TPageRegex(std::string_view pattern);
    ~TPageRegex();
    TPageRegex(const TPageRegex &) = delete;
    TPageRegex &operator=(const TPageRegex &) = delete;

    // Every match in order. The views point into `text`.
    std::vector<QByteArrayView> FindAll(QByteArrayView text) const;

    // Calls `onMatch(view)` for every match in order; stops early when it returns false.
    template <class F>
    void ForEachMatch(QByteArrayView text, F &&onMatch) const
    {
        qsizetype pos = 0;
        const QByteArrayView searched = UpToNul(text);
        QByteArrayView match;
        while (Next(searched, pos, match)) {
            if (!onMatch(match))
                return;
        }
    }

    // Like ForEachMatch, but hands over the first group of each match (an
    // empty view when that group took no part in it).
    template <class F>
    void ForEachFirstGroup(QByteArrayView text, F &&onGroup) const
    {
        qsizetype pos = 0;
        const QByteArrayView searched = UpToNul(text);
        QByteArrayView group;
        while (Next(searched, pos, group, 1)) {
            if (!onGroup(group))
                return;
        }
    }

    // Capturing groups of the pattern.
    int GroupCount() const;

    // The part of `text` before its first NUL byte.
    static QByteArrayView UpToNul(QByteArrayView text);

private:
    // Finds the first match starting at or after `pos`; on success moves `pos`
    // to its end (at least one byte further).
    // `match` is the whole match, or with `group` 1 its first group.
    bool Next(QByteArrayView text, qsizetype &pos, QByteArrayView &match, int group = 0) const;

    std::unique_ptr<re2::RE2> re_;
};

} // namespace leecher
