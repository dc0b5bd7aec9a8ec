#include "analyser/JudgeAnalysis.h"

#include "analyser/JudgeFormats.h"

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

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The address occurs in the page with neither a digit nor a dot before it,
// and neither a digit nor a dot and a digit after it.
bool ShowsWholeAddress(QByteArrayView page, QByteArrayView address)
{
    if (address.isEmpty())
        return false;
    for (qsizetype at = page.indexOf(address); at >= 0; at = page.indexOf(address, at + 1)) {
        const qsizetype end = at + address.size();
        const bool joinedBefore = at > 0 && (IsDigit(page[at - 1]) || page[at - 1] == '.');
        const bool joinedAfter =
            end < page.size() &&
            (IsDigit(page[end]) ||
             (page[end] == '.' && end + 1 < page.size() && IsDigit(page[end + 1])));
        if (!joinedBefore && !joinedAfter)
            return true;
    }
    return false;
}

// Four decimal numbers of 0 to 255, one to three digits each, joined by dots.
bool IsDottedIPv4(QByteArrayView text)
{
    int parts = 0;
    qsizetype from = 0;
    while (true) {
        qsizetype to = from;
        while (to < text.size() && IsDigit(text[to]))
            ++to;
        if (to == from || to - from > 3 || text.sliced(from, to - from).toInt() > 255)
            return false;
        ++parts;
        if (to == text.size())
            return parts == 4;
        if (text[to] != '.' || parts == 4)
            return false;
        from = to + 1;
    }
}

} // namespace

bool CheckAnon(QByteArrayView page, QByteArrayView ownAddress,
               const QList<QByteArray> &machineAddresses)
{
    if (!ownAddress.isEmpty() && page.indexOf(ownAddress) >= 0)
        return false;
    for (const QByteArray &address : machineAddresses) {
        if (ShowsWholeAddress(page, address))
            return false;
    }
    return true;
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

QByteArray JudgedAddress(QByteArrayView page)
{
    const qsizetype at = page.indexOf(AddressMarker);
    if (at < 0) {
        // A judge of another form: the address it saw, when an IPv4 one.
        const TJudgeEnvironment env = ReadJudgeEnvironment(page);
        if (env.Format == TJudgeFormat::Unknown || !IsDottedIPv4(env.RemoteAddr) ||
            env.RemoteAddr == "0.0.0.0")
            return {};
        return env.RemoteAddr;
    }
    const qsizetype from = at + AddressMarker.size();
    const qsizetype end = from + qMin(AddressField, page.size() - from);
    qsizetype start = from;
    while (start < end && IsBlankOrControl(page[start]))
        ++start;
    qsizetype stop = start;
    while (stop < end && (IsDigit(page[stop]) || page[stop] == '.'))
        ++stop;
    // The address went on past the field: what the field holds is cut short.
    if (stop == end && end < page.size() && (IsDigit(page[end]) || page[end] == '.'))
        return {};
    const QByteArrayView address = page.sliced(start, stop - start);
    if (!IsDottedIPv4(address) || address == "0.0.0.0")
        return {};
    return address.toByteArray();
}

void JudgeAnswer(QByteArrayView page, QByteArrayView ownAddress, TProxyItem &entry,
                 TCheckRunState &totals, const QList<QByteArray> &machineAddresses)
{
    const bool anonymous = CheckAnon(page, ownAddress, machineAddresses);
    const TJudgeEnvironment env = ReadJudgeEnvironment(page);
    if (env.Format == TJudgeFormat::AzEnvironment || env.Format == TJudgeFormat::Json) {
        // The judge states no level: it is graded from the headers it shows.
        QByteArrayList clients = machineAddresses;
        if (!ownAddress.isEmpty())
            clients.prepend(ownAddress.toByteArray());
        entry.Anonymous = anonymous ? "Yes" : "No";
        entry.State = anonymous ? psGood : psBad;
        ++(anonymous ? totals.GoodCount : totals.BadCount);
        if (anonymous)
            entry.Level = QByteArray::number(int(GradeEnvironment(env, clients)));
        entry.RemoteAddr = env.RemoteAddr;
        return;
    }
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
