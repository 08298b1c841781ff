#include "packs/PackLoadProgress.h"

namespace bopwell::samplepack
{

PackLoadProgress::PackLoadProgress (std::atomic<bool>& cancel, Report onProgress) :
    cancelRequested (cancel), report (std::move (onProgress))
{
}

bool PackLoadProgress::proceed (int done, int total) const
{
    if (report)
        report (done, total);
    return ! cancelRequested.load();
}

} // namespace bopwell::samplepack
