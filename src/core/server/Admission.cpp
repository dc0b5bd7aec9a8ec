#include "Admission.h"

namespace server {

TAdmission::TVerdict TAdmission::Admit(quint32 source, bool *bySource)
{
    const auto it = FSources.constFind(source);
    const bool sourceFull = it != FSources.cend() && *it >= FSourceCap;
    if (bySource)
        *bySource = sourceFull;
    if (!sourceFull && FServing < FCap) {
        ++FSources[source];
        ++FServing;
        return Serve;
    }
    if (FRefusing >= FCap)
        return Drop;
    ++FRefusing;
    return Refuse;
}

void TAdmission::Release(quint32 source, TVerdict verdict)
{
    if (verdict == Refuse) {
        --FRefusing;
        return;
    }
    if (verdict != Serve)
        return;
    --FServing;
    const auto it = FSources.find(source);
    // The entry goes with the source's last connection: the table holds no
    // more sources than connections.
    if (it != FSources.end() && --*it <= 0)
        FSources.erase(it);
}

} // namespace server
