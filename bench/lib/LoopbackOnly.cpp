// Linked into every benchmark program: names are looked up on this machine
// only ("localhost"; every other name fails at once), so a benchmark never
// sends a question or a connection anywhere but to its own loopback peers.
#include "net/LoopbackResolver.h"

namespace {

struct TLoopbackOnly
{
    TLoopbackOnly() { net::SetResolver(&Resolver); }
    net::TLoopbackResolver Resolver;
};

const TLoopbackOnly GLoopbackOnly;

} // namespace
