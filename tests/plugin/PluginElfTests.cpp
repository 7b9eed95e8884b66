// What the dynamic loader sees of the built AudioAnalytics_Zelvani.so.
#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ElfFacts.h"

#ifndef ZV_PLUGIN_FILE
#error "ZV_PLUGIN_FILE must name the built plug-in"
#endif

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class PluginElf : public ::testing::Test {
protected:
    static void SetUpTestSuite() { facts = TestSupport::ReadElfFacts(ZV_PLUGIN_FILE); }
    static TestSupport::ElfFacts facts;
};
TestSupport::ElfFacts PluginElf::facts;

TEST_F(PluginElf, ExportsExactlyTheThreeEntryPoints)
{
    EXPECT_THAT(facts.exported, ElementsAre("FinalizeModule", "GetModule", "InitializeModule"));
}

TEST_F(PluginElf, FindsTheSdkBesideItselfThroughARunPath)
{
    EXPECT_TRUE(facts.hasRunpath);
    EXPECT_EQ(facts.runpath, "$ORIGIN/ZVAudioSdk:$ORIGIN");
    EXPECT_FALSE(facts.hasRpath) << "DT_RPATH would override the host's LD_LIBRARY_PATH: " << facts.rpath;
}

TEST_F(PluginElf, NeedsTheSdkAndLibuuidAndOnlySystemRuntimesBesides)
{
    const std::vector<std::string> needed = TestSupport::NeededWithoutSanitizers(facts);
    EXPECT_THAT(needed, Contains("libzv_audio_analytics.so"));
    EXPECT_THAT(needed, Contains("libuuid.so.1"));
    // fmt is compiled in, the memory library is the SDK's affair, and Boost
    // is used header-only.
    const char* systemRuntimes[] = {"libstdc++.so.", "libm.so.", "libgcc_s.so.", "libc.so."};
    for (const std::string& entry : needed) {
        if (entry == "libzv_audio_analytics.so" || entry == "libuuid.so.1")
            continue;
        const bool system = std::any_of(std::begin(systemRuntimes), std::end(systemRuntimes),
                                        [&](const char* prefix) { return StartsWith(entry, prefix); });
        EXPECT_TRUE(system) << "unexpected dependency " << entry;
    }
    EXPECT_THAT(needed, Not(Contains(HasSubstr("fmt"))));
    EXPECT_THAT(needed, Not(Contains(HasSubstr("zv_memory"))));
}

}  // namespace
