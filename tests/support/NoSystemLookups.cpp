#include "NoSystemLookups.h"

#include "net/LoopbackResolver.h"

#include <gtest/gtest.h>

namespace testsupport {

net::TLoopbackResolver &loopbackResolver()
{
    static net::TLoopbackResolver Resolver;
    static const bool Installed = (net::SetResolver(&Resolver), true);
    (void)Installed;
    return Resolver;
}

} // namespace testsupport

// The system's lookup functions are replaced in every test program
// (tests/preload/NoLookups.cc); what they refuse fails the running test.
extern "C" void vexo_lookup_refused(const char *Function, const char *Name)
{
    ADD_FAILURE() << "the test asked the system's resolver (" << Function << ") for \"" << Name
                  << "\"";
}
