#include "base/BErrorReport.h"

#include <atomic>
#include <cstdio>

namespace
{
void writeToStandardError(const BString& where, const BString& what)
{
    std::fprintf(stderr, "%s: uncaught exception: %s\n", where.CStr(), what.CStr());
    std::fflush(stderr);
}

std::atomic<BErrorReport::Handler> installed{nullptr};
} // namespace

BErrorReport::Handler BErrorReport::setHandler(Handler handler)
{
    return installed.exchange(handler);
}

void BErrorReport::report(const BString& where, const BString& what)
{
    const Handler handler = installed.load();
    (handler != nullptr ? handler : writeToStandardError)(where, what);
}
