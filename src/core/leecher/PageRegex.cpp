#include "leecher/PageRegex.h"

#include <re2/re2.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace leecher {

namespace {

re2::RE2::Options PageOptions()
{
    re2::RE2::Options options;
    // Pages are bytes in an 8-bit code page: every byte is one character.
    options.set_encoding(re2::RE2::Options::EncodingLatin1);
    options.set_case_sensitive(true);
    options.set_dot_nl(true);
    options.set_longest_match(false); // leftmost-first, like a backtracking engine
    options.set_log_errors(false);
    // Room for the lazily built automata, so that big pages never drop to the
    // slower fallback matcher.
    options.set_max_mem(int64_t{64} << 20);
    return options;
}

} // namespace

TPageRegex::TPageRegex(std::string_view pattern)
    : re_(std::make_unique<re2::RE2>(re2::StringPiece(pattern.data(), pattern.size()),
                                     PageOptions()))
{
    if (!re_->ok())
        throw std::invalid_argument("invalid pattern: " + re_->error());
}

TPageRegex::~TPageRegex() = default;

QByteArrayView TPageRegex::UpToNul(QByteArrayView text)
{
    if (text.isEmpty())
        return text;
    const void *nul = std::memchr(text.data(), 0, size_t(text.size()));
    if (!nul)
        return text;
    return text.first(static_cast<const char *>(nul) - text.data());
}

int TPageRegex::GroupCount() const
{
    return re_->NumberOfCapturingGroups();
}

bool TPageRegex::Next(QByteArrayView text, qsizetype &pos, QByteArrayView &match, int group) const
{
    if (pos >= text.size())
        return false;
    const re2::StringPiece whole(text.data(), size_t(text.size()));
    re2::StringPiece found[2];
    if (!re_->Match(whole, size_t(pos), whole.size(), re2::RE2::UNANCHORED, found, group + 1))
        return false;
    const qsizetype start = found[0].data() - text.data();
    const qsizetype length = qsizetype(found[0].size());
    match = group == 0 || found[1].data() == nullptr
                ? text.sliced(start, group == 0 ? length : 0)
                : text.sliced(found[1].data() - text.data(), qsizetype(found[1].size()));
    // An empty match would repeat forever; step over one byte in that case.
    pos = start + (length > 0 ? length : 1);
    return true;
}

std::vector<QByteArrayView> TPageRegex::FindAll(QByteArrayView text) const
{
    std::vector<QByteArrayView> matches;
    ForEachMatch(text, [&matches](QByteArrayView m) {
        matches.push_back(m);
        return true;
    });
    return matches;
}

} // namespace leecher
