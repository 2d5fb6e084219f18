#pragma once
// The third-party metadata samples of ../shared/samples beside the project,
// and our own small documents that cover the same behaviour. A clone of the
// project alone has no samples: a case that needs them says it was skipped
// and why, except under CI (CI=true), where their absence is a failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "TestUtil.h"

namespace testutil {

inline std::string sampleFile(const std::string& name)
{
    return std::string(ATLASDESK_SAMPLES_DIR) + "/" + name;
}

// Those of `names` that are not there, joined by ", "; "" when all are.
inline std::string missingSamples(std::initializer_list<const char*> names)
{
    std::string missing;
    for (const char* name : names)
        if (!exists(sampleFile(name)))
            missing += (missing.empty() ? "" : ", ") + std::string(name);
    return missing;
}

inline bool underCI()
{
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

} // namespace testutil

// In a test body: skips the rest of the test (fails it under CI) when one of
// the named samples is missing.
#define ATLASDESK_REQUIRE_SAMPLES(...)                                                                  \
    do {                                                                                                \
        const std::string missing_ = ::testutil::missingSamples({__VA_ARGS__});                         \
        if (!missing_.empty()) {                                                                        \
            if (::testutil::underCI())                                                                  \
                FAIL() << "CI runs every case: the third-party samples " << missing_                   \
                       << " are missing from " ATLASDESK_SAMPLES_DIR;                                   \
            GTEST_SKIP() << "needs the third-party samples " << missing_ << ", not found in "           \
                         << ATLASDESK_SAMPLES_DIR " (a clone of the project alone has none); our own "  \
                            "documents cover the same behaviour in the other cases";                    \
        }                                                                                               \
    } while (0)
