#include "analyser/JudgeAnalysis.h"

namespace analyser {

namespace {

constexpr QByteArrayView LevelMarker("AnonyLevel");
constexpr QByteArrayView AddressMarker("REMOTE_ADDR=");
// The level is looked for this far from the start of its marker.
constexpr qsizetype LevelWindow = 80;
// The longest dotted IPv4 address.
constexpr qsizetype AddressField = 15;

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

bool CheckAnon(QByteArrayView page, QByteArrayView ownAddress)
{
    return ownAddress.isEmpty() || page.indexOf(ownAddress) < 0;
}

TJudgeField GetLevel(QByteArrayView page)
{
    const qsizetype at = page.indexOf(LevelMarker);
    if (at < 0)
        return {QByteArrayLiteral("Unknown"), false};
    const QByteArrayView taken = page.sliced(at, qMin(LevelWindow, page.size() - at));
    const qsizetype gt = taken.indexOf('>');
    if (gt < 0)
        return {taken.first(1).toByteArray(), true};
    if (gt + 1 == taken.size())
        return {QByteArray(), true};
    return {QByteArray(1, taken[gt + 1]), true};
}

TJudgeField Gateway(QByteArrayView page)
{
    const qsizetype at = page.indexOf(AddressMarker);
    if (at < 0)
        return {QByteArrayLiteral("Unknown"), false};
    const qsizetype from = at + AddressMarker.size();
    QByteArrayView field = page.sliced(from, qMin(AddressField, page.size() - from));
    while (!field.isEmpty() && IsBlankOrControl(field.front()))
        field = field.sliced(1);
    while (!field.isEmpty() && IsBlankOrControl(field.back()))
        field.chop(1);
    return {field.toByteArray(), true};
}

void JudgeAnswer(QByteArrayView page, QByteArrayView ownAddress, TProxyItem &entry,
                 TCheckRunState &totals)
{
    const bool anonymous = CheckAnon(page, ownAddress);
    if (anonymous) {
        entry.Anonymous = "Yes";
        entry.State = psGood;
        ++totals.GoodCount;
        const TJudgeField level = GetLevel(page);
        entry.Level = level.Text;
        if (!level.Found)
            entry.State = psUnknown;
    } else {
        entry.Anonymous = "No";
        entry.State = psBad;
        ++totals.BadCount;
    }
    const TJudgeField address = Gateway(page);
    entry.RemoteAddr = address.Text;
    if (!address.Found)
        entry.State = psUnknown;
}

} // namespace analyser
