// What the dynamic loader sees of the built libzv_audio_analytics.so.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ElfFacts.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

const TestSupport::ElfFacts& Library()
{
    static const TestSupport::ElfFacts facts = TestSupport::ReadElfFacts(ZV_SDK_LIBRARY_FILE);
    return facts;
}

TEST(SdkLibraryElf, IsNamedAsThePluginLinksIt)
{
    EXPECT_EQ(Library().soname, "libzv_audio_analytics.so");
}

TEST(SdkLibraryElf, ExportsExactlyTheFiveCalls)
{
    EXPECT_THAT(Library().exported, ElementsAre("zvAudio_GetVersionInfo", "zvAudio_Init", "zvAudio_Process",
                                                "zvAudio_Release", "zvAudio_SetParams"));
}

TEST(SdkLibraryElf, FindsTheMemoryLibraryBesideOrAboveItThroughRunpath)
{
    EXPECT_TRUE(Library().hasRunpath);
    EXPECT_EQ(Library().runpath, "$ORIGIN:$ORIGIN/..");
    EXPECT_FALSE(Library().hasRpath) << Library().rpath;
    EXPECT_THAT(Library().needed, Contains("libzv_memory.so"));
}

TEST(SdkLibraryElf, NeedsOnlyTheMemoryLibraryFftwAndSystemRuntimes)
{
    const char* allowed[] = {"libzv_memory.so", "libfftw3f.so.", "libstdc++.so.", "libm.so.", "libgcc_s.so.",
                             "libc.so."};
    for (const std::string& entry : TestSupport::NeededWithoutSanitizers(Library())) {
        const bool known = std::any_of(std::begin(allowed), std::end(allowed),
                                       [&](const char* prefix) { return entry.rfind(prefix, 0) == 0; });
        EXPECT_TRUE(known) << "unexpected dependency " << entry;
    }
}

}  // namespace
