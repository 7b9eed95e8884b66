// A golden run: a bundled recording through the real plug-in and the real
// classification library, laid out as installed, and the events the program
// prints for it, compared with the recorded ones (tests/host/golden/). A
// change of the classifier that changes them shows here first; renew the
// file after checking the new events by ear and eye.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "HostTestSupport.h"

namespace {

using HostTest::fs::path;

class GoldenRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = dir.path / "plugins";
        HostTest::MakePluginFolder(folder, ZV_PLUGIN_FILE, ZV_REAL_SDK_FILE);
        HostTest::fs::copy(ZV_SDK_DATA_DIR, folder / "ZVAudioSdk" / "share",
                           HostTest::fs::copy_options::recursive | HostTest::fs::copy_options::overwrite_existing);
        HostTest::fs::copy_file(ZV_MEMORY_FILE, folder / "libzv_memory.so");
    }

    // Runs in the scratch folder, so inputs are named as given.
    HostTest::ProgramRun RunOn(const std::string& clip, std::vector<std::string> extra = {})
    {
        HostTest::fs::copy_file(path(ZV_DEMO_RECORDINGS) / clip, dir.path / clip,
                                HostTest::fs::copy_options::overwrite_existing);
        std::vector<std::string> args = {"--plugins", folder.string(), "--enable", "all", "--log-level", "3",
                                         "--no-summary", "--start", "2026-03-14T09:26:53Z"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(clip);
        return HostTest::Run(ZV_HOST_PROGRAM, args, dir.path, "/dev/null", "cd " + HostTest::Quoted(dir.path) + " &&");
    }

    HostTest::TempDir dir;
    path folder;
};

TEST_F(GoldenRun, EventsOfTheBundledClipsAreTheRecordedOnes)
{
    for (const std::string clip : {"GlassBreak_02.wav", "GlassBreak_01.wav", "GunShot_11.wav", "neg_door_01.wav"}) {
        const auto run = RunOn(clip);
        EXPECT_EQ(run.status, 0) << clip << ": " << run.err;
        const path golden = path(ZV_GOLDEN_DIR) / (clip.substr(0, clip.size() - 4) + ".events");
        EXPECT_EQ(run.out, HostTest::ReadFile(golden)) << clip;
    }
}

TEST_F(GoldenRun, TheReportDrawsTheLibrarysConfidenceCurves)
{
    const auto run = RunOn("GunShot_11.wav", {"--report", "report.html"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string page = HostTest::ReadFile(dir.path / "report.html");
    EXPECT_THAT(page, ::testing::HasSubstr("src=\"data:image/png;base64,iVBORw0KGgo"));
    EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("No confidence curves")));
}

}  // namespace
