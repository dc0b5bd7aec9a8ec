// The linear-time page patterns must pick exactly the matches that a
// backtracking engine picks under the same rules. PCRE2 is the reference: the
// five patterns are written out again below from the character table in its
// own syntax (hex escapes, no shared text with the production patterns), and
// the search loop is written again too.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "leecher/Extraction.h"
#include "leecher/PageRegex.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace leecher;

namespace {

// Character sets, one hex escape per single character.
#define SET_CORE "_a-zA-Z0-9\\x2d" // underscore, letters, digits, hyphen
#define SET_A "[" SET_CORE "\\x40\\x2e]"
#define SET_B "[" SET_CORE "]"
#define SET_C "[" SET_CORE "\\x2e\\x20\\x09\\x0a\\x0d\\x0c]"
#define SET_D "[" SET_CORE "\\x2e\\x2f]"
#define SET_E "[" SET_CORE "\\x2e]"
#define WS "[\\x20\\x09\\x0a\\x0d\\x0c]"
#define DOT "\\x2e"

const std::array<const char *, 5> kReference = {
    SET_A "+" DOT SET_B "+" DOT SET_C "+:[0-9]+",
    "<tr>" WS "+<td>" SET_A "+" DOT SET_B "+" DOT SET_C "+</td>" WS "+<td>" SET_B "+</td>",
    SET_A "+" DOT SET_A "+" DOT SET_B "+" DOT SET_D "+(</td>)(.*?)(</td>)",
    "<td>" WS "+" SET_A "+" DOT SET_A "+" DOT SET_B "+" DOT SET_E "+" WS "+</td>" WS "+<td>" WS
    "+" SET_E "+",
    SET_A "+" DOT SET_A "+" DOT SET_B "+" DOT SET_D "+</b></td>" WS "+<td>" SET_B "+</td>",
};

class Reference
{
public:
    explicit Reference(const char *pattern)
    {
        int error = 0;
        PCRE2_SIZE offset = 0;
        // Bytes, case-sensitive, "." across line breaks; no start-up options
        // that would change which match is found.
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                              PCRE2_DOTALL, &error, &offset, nullptr);
        if (!code_) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(error, message, sizeof message);
            ADD_FAILURE() << "reference pattern: " << reinterpret_cast<char *>(message);
            return;
        }
        data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
    }
    ~Reference()
    {
        pcre2_match_data_free(data_);
        pcre2_code_free(code_);
    }
    Reference(const Reference &) = delete;
    Reference &operator=(const Reference &) = delete;

    // Matches as [start, end) pairs: the text ends at its first NUL, each
    // search starts where the previous match ended.
    std::vector<std::pair<size_t, size_t>> FindAll(const std::string &text) const
    {
        std::vector<std::pair<size_t, size_t>> out;
        const size_t length = std::min(text.size(), text.find('\0'));
        size_t start = 0;
        while (code_ && start < length) {
            const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), length,
                                       start, 0, data_, nullptr);
            if (rc == PCRE2_ERROR_NOMATCH)
                break;
            if (rc < 0) {
                ADD_FAILURE() << "reference engine failed: " << rc;
                break;
            }
            const PCRE2_SIZE *ov = pcre2_get_ovector_pointer(data_);
            out.emplace_back(ov[0], ov[1]);
            start = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
        }
        return out;
    }

private:
    pcre2_code *code_ = nullptr;
    pcre2_match_data *data_ = nullptr;
};

// A small deterministic generator, the same on every platform.
class Rng
{
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint32_t Next()
    {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(state_ >> 33);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint64_t state_;
};

// Pieces that make the patterns match often and almost match even more often:
// every character class boundary, tags in both cases, NULs and high bytes.
const std::vector<std::string> kPieces = {
    "1",
    "23",
    "a",
    "Z",
    "_",
    "-",
    "@",
    ".",
    ".",
    "/",
    ":",
    ":",
    "8080",
    "80",
    "3128",
    " ",
    "\t",
    "\n",
    "\r",
    "\f",
    "\v",
    "\r\n",
    "<tr>",
    "<td>",
    "</td>",
    "</td>",
    "</b>",
    "<b>",
    "<TD>",
    "</TD>",
    "<",
    ">",
    "x.y",
    "1.2.3",
    ".4",
    "1.2.3.4",
    "host.example.com",
    "#",
    "\xa1\xa3",
    "\xff",
    "%",
    ":65555",
    "</b></td>",
    "\n<td>",
    " </td>",
    "tr>",
    "t",
    "d",
    std::string(1, '\0'),
};

// Pages shaped like one of the patterns, then damaged: each element of the
// pattern is emitted (a literal as it is, a repeated set as a short run of its
// characters, boundary characters preferred), and now and then an element is
// dropped, doubled, upper-cased or followed by a character from just outside
// its set. This gives dense matches and near-matches that force a backtracking
// engine to give characters back in every quantifier.
struct Element
{
    const char *literal; // emitted as it is, unless null
    const char *set;     // characters of a repeated set, unless null
};

constexpr const char *kA = "_azAZ09-@.";
constexpr const char *kB = "_azAZ09-";
constexpr const char *kC = "_azAZ09-. \t\n\r\f";
constexpr const char *kD = "_azAZ09-./";
constexpr const char *kE = "_azAZ09-.";
constexpr const char *kW = " \t\n\r\f";
constexpr const char *kDigits = "0123456789";
constexpr const char *kAny = "</td>\n.1a"; // the lazy run: pieces of the closing tag too
constexpr const char *kOutside = "`{[:;<>/\v\x80\xff@.";

const std::vector<std::vector<Element>> kShapes = {
    {{nullptr, kA},
     {".", nullptr},
     {nullptr, kB},
     {".", nullptr},
     {nullptr, kC},
     {":", nullptr},
     {nullptr, kDigits}},
    {{"<tr>", nullptr},
     {nullptr, kW},
     {"<td>", nullptr},
     {nullptr, kA},
     {".", nullptr},
     {nullptr, kB},
     {".", nullptr},
     {nullptr, kC},
     {"</td>", nullptr},
     {nullptr, kW},
     {"<td>", nullptr},
     {nullptr, kB},
     {"</td>", nullptr}},
    {{nullptr, kA},
     {".", nullptr},
     {nullptr, kA},
     {".", nullptr},
     {nullptr, kB},
     {".", nullptr},
     {nullptr, kD},
     {"</td>", nullptr},
     {nullptr, kAny},
     {"</td>", nullptr}},
    {{"<td>", nullptr},
     {nullptr, kW},
     {nullptr, kA},
     {".", nullptr},
     {nullptr, kA},
     {".", nullptr},
     {nullptr, kB},
     {".", nullptr},
     {nullptr, kE},
     {nullptr, kW},
     {"</td>", nullptr},
     {nullptr, kW},
     {"<td>", nullptr},
     {nullptr, kW},
     {nullptr, kE}},
    {{nullptr, kA},
     {".", nullptr},
     {nullptr, kA},
     {".", nullptr},
     {nullptr, kB},
     {".", nullptr},
     {nullptr, kD},
     {"</b></td>", nullptr},
     {nullptr, kW},
     {"<td>", nullptr},
     {nullptr, kB},
     {"</td>", nullptr}},
};

void Emit(const Element &e, Rng &rng, std::string &out)
{
    if (e.literal) {
        std::string lit = e.literal;
        if (rng.Below(25) == 0)
            for (char &c : lit)
                c = char(std::toupper(static_cast<unsigned char>(c)));
        if (rng.Below(25) == 0 && lit.size() > 1)
            lit.erase(rng.Below(uint32_t(lit.size())), 1);
        out += lit;
        return;
    }
    const std::string set = e.set;
    const uint32_t run = 1 + rng.Below(rng.Below(4) == 0 ? 12 : 3);
    for (uint32_t i = 0; i < run; ++i)
        out.push_back(set[rng.Below(uint32_t(set.size()))]);
}

std::string GenerateShapedPage(Rng &rng, int shape)
{
    std::string page;
    const uint32_t copies = 1 + rng.Below(3);
    for (uint32_t copy = 0; copy < copies; ++copy) {
        for (const Element &e : kShapes[size_t(shape)]) {
            const uint32_t roll = rng.Below(40);
            if (roll == 0)
                continue; // dropped
            Emit(e, rng, page);
            if (roll == 1)
                Emit(e, rng, page); // doubled
            if (roll == 2)
                page.push_back(kOutside[rng.Below(uint32_t(std::strlen(kOutside)))]);
        }
        if (rng.Below(2))
            page += kPieces[rng.Below(uint32_t(kPieces.size()))];
    }
    return page;
}

std::string GeneratePage(Rng &rng)
{
    std::string page;
    const uint32_t pieces = rng.Below(48);
    for (uint32_t i = 0; i < pieces; ++i) {
        // Mostly pattern pieces; now and then a random byte.
        if (rng.Below(10) == 0)
            page.push_back(char(rng.Below(256)));
        else
            page += kPieces[rng.Below(uint32_t(kPieces.size()))];
    }
    return page;
}

TEST(Differential, PatternsMatchLikeABacktrackingEngine)
{
    constexpr int kPages = 8000;
    std::vector<std::unique_ptr<Reference>> reference;
    for (const char *p : kReference)
        reference.push_back(std::make_unique<Reference>(p));

    Rng rng(20240601);
    std::array<int, 5> pagesWithMatches{};
    std::array<int, 5> matches{};
    int mismatches = 0;
    for (int page = 0; page < kPages; ++page) {
        std::string text = page % 3 ? GenerateShapedPage(rng, page % 5) : GeneratePage(rng);
        // Every fourth page is a plausible table or list fragment with noise.
        if (page % 4 == 0) {
            static const char *const rows[] = {
                "<tr>\n<td>1.2.3.4</td>\n<td>8080</td>\n</tr>",
                "<td> 10.0.0.1 </td>\r\n<td> 3128",
                "<td><b>a.b.c.d</b></td>\n<td>80</td>",
                "5.6.7.8</td><td>9</td>",
                "p.q.r.s:8080 ",
            };
            text.insert(rng.Below(uint32_t(text.size() + 1)), rows[rng.Below(5)]);
        }
        const QByteArray bytes(text.data(), qsizetype(text.size()));
        for (int n = 1; n <= 5; ++n) {
            std::vector<std::pair<size_t, size_t>> ours;
            for (QByteArrayView m : ProxyPattern(n).FindAll(bytes))
                ours.emplace_back(size_t(m.data() - bytes.data()),
                                  size_t(m.data() - bytes.data() + m.size()));
            const auto theirs = reference[size_t(n - 1)]->FindAll(text);
            if (n == 1) { // extraction searches only the stretches that can hold a match
                std::vector<std::pair<size_t, size_t>> plain;
                for (QByteArrayView m : FindPlainMatches(bytes))
                    plain.emplace_back(size_t(m.data() - bytes.data()),
                                       size_t(m.data() - bytes.data() + m.size()));
                if (plain != theirs && ++mismatches <= 10)
                    ADD_FAILURE() << "plain search differs on page " << page << ": "
                                  << ::testing::PrintToString(text);
            }
            if (ours != theirs && ++mismatches <= 10) {
                ADD_FAILURE() << "pattern " << n << " differs on page " << page << ": "
                              << ::testing::PrintToString(text) << " ours "
                              << ::testing::PrintToString(ours) << " reference "
                              << ::testing::PrintToString(theirs);
            }
            matches[size_t(n - 1)] += int(theirs.size());
            pagesWithMatches[size_t(n - 1)] += theirs.empty() ? 0 : 1;
        }
    }
    EXPECT_EQ(mismatches, 0);
    // The generated pages must exercise every pattern, or the comparison proves little.
    for (int n = 0; n < 5; ++n) {
        EXPECT_GE(pagesWithMatches[size_t(n)], kPages / 50) << "pattern " << n + 1;
        RecordProperty("pattern" + std::to_string(n + 1) + "_matches", matches[size_t(n)]);
    }
}

TEST(Differential, NearMissesOfEachPattern)
{
    // Hand-made pages around the places where a backtracking engine has to
    // give characters back.
    const std::vector<std::string> pages = {
        "a.b.c.d.e.f:1",
        "a..b.c:1",
        "a.b..c:1",
        "1.2.3 4 5:6",
        "1.2.3\t\n:7",
        "1.2.3.:8",
        "@.@.@:9",
        "x.y.z :",
        "<tr> <td>a.b.c </td> <td>x</td>",
        "<tr><td>a.b.c</td> <td>x</td>",
        "<tr>\n<td>a.b.c\n</td>\n<td>x-y</td><tr> <td>1.2.3</td> <td>4</td>",
        "a.b.c.d/e</td></td></td>",
        "a.b.c.d</td>",
        "a.b.c.d</td>x</td>y.z.w.v</td>\n</td>",
        "<td> a.b.c.d </td> <td> e",
        "<td>\ta.b.c.d\t</td>\t<td>\te.f",
        "<td> a.b.c. </td> <td> e",
        "a.b.c.d</b></td> <td>e</td>",
        "a.b.c.d</b></td><td>e</td>",
        "1.2.3.4</b></td>\f<td>_</td>",
        "a.b.c:1a.b.c:2",
        "a.b.c:1.b.c:2",
        "a.b.c::1 a.b.c:x a.b.c:3",
        "@a.b.c:4",
        "a@b.c.d:5",
        "a.@b.c:6",
        "a.b.@c:7",
        ".a.b.c:8",
        "a.b.c d.e:9",
        "x:1.2.3:4",
    };
    for (const std::string &text : pages) {
        const QByteArray bytes(text.data(), qsizetype(text.size()));
        for (int n = 1; n <= 5; ++n) {
            Reference reference(kReference[size_t(n - 1)]);
            std::vector<std::pair<size_t, size_t>> ours;
            for (QByteArrayView m : ProxyPattern(n).FindAll(bytes))
                ours.emplace_back(size_t(m.data() - bytes.data()),
                                  size_t(m.data() - bytes.data() + m.size()));
            EXPECT_EQ(ours, reference.FindAll(text)) << "pattern " << n << " on " << text;
        }
        std::vector<std::pair<size_t, size_t>> plain;
        for (QByteArrayView m : FindPlainMatches(bytes))
            plain.emplace_back(size_t(m.data() - bytes.data()),
                               size_t(m.data() - bytes.data() + m.size()));
        EXPECT_EQ(plain, Reference(kReference[0]).FindAll(text)) << "plain search on " << text;
    }
}

} // namespace
