// Run results as a run fills them, for tests that feed the history journal
// directly.
#pragma once

#include "upgrade/UpgradeResult.h"

#include <algorithm>
#include <vector>

// The identity (32 bytes), version and record (50 bytes) read; with after
// (50 bytes), also the record about to be written and its sources.
inline UpgradeResult ResultOf(const unsigned char* identity, const CString& version,
                              const unsigned char* before, const unsigned char* after = nullptr,
                              std::vector<CString> sources = {})
{
    UpgradeResult result;
    result.identityRead = result.recordRead = true;
    std::copy(identity, identity + result.identity.size(), result.identity.begin());
    result.version = version;
    std::copy(before, before + result.recordBefore.size(), result.recordBefore.begin());
    if (after) {
        result.writeTried = true;
        std::copy(after, after + result.recordAfter.size(), result.recordAfter.begin());
        result.sources = std::move(sources);
    }
    return result;
}
