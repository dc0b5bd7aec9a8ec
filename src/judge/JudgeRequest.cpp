#include "JudgeRequest.h"

namespace judge {

QByteArray QueryValue(QByteArrayView target, QByteArrayView name, bool *found)
{
    if (found)
        *found = false;
    const qsizetype question = target.indexOf('?');
    if (question < 0)
        return {};
    QByteArrayView query = target.sliced(question + 1);
    const qsizetype hash = query.indexOf('#');
    if (hash >= 0)
        query.truncate(hash);
    while (!query.isEmpty()) {
        qsizetype amp = query.indexOf('&');
        if (amp < 0)
            amp = query.size();
        const QByteArrayView pair = query.first(amp);
        query = amp < query.size() ? query.sliced(amp + 1) : QByteArrayView();
        const qsizetype eq = pair.indexOf('=');
        const QByteArrayView key = eq < 0 ? pair : pair.first(eq);
        if (key != name)
            continue;
        if (found)
            *found = true;
        return eq < 0 ? QByteArray()
                      : QByteArray::fromPercentEncoding(pair.sliced(eq + 1).toByteArray());
    }
    return {};
}

} // namespace judge
