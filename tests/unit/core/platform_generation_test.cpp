// Which radio daemon the library serves: the SDK level when the platform gives one, else the
// release's major number.
#include <gtest/gtest.h>

#include <zvril.h>

#include "core/core_internal.h"

namespace {

struct GenerationRow {
    const char *sdk;
    const char *release;
    int generation;
};

constexpr GenerationRow kGenerationRows[] = {
    {"26", "", ZV_GENERATION_HIDL},
    {"25", "", ZV_GENERATION_SOCKET},
    {"30", "7.1.2", ZV_GENERATION_HIDL},  // the SDK level decides over the release
    {"25", "8.1.0", ZV_GENERATION_SOCKET},
    {"", "8.1.0", ZV_GENERATION_HIDL},
    {"", "7.1.2", ZV_GENERATION_SOCKET},
    {"", "", ZV_GENERATION_SOCKET},
    {"garbage", "garbage", ZV_GENERATION_SOCKET},
    {"garbage", "9", ZV_GENERATION_HIDL},  // an unreadable level falls back to the release
    {nullptr, nullptr, ZV_GENERATION_SOCKET},
};

TEST(PlatformGeneration, SdkLevelElseReleaseMajor) {
    for (const GenerationRow &r : kGenerationRows) {
        EXPECT_EQ(zv::ClassifyGeneration(r.sdk, r.release), r.generation)
            << "sdk " << (r.sdk ? r.sdk : "(unset)") << ", release " << (r.release ? r.release : "(unset)");
    }
}

}  // namespace
