// orq8-host as a user runs it: every failure is one line on stderr with its
// own exit status; raw PCM from standard input; the report file.
#include <regex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "HostTestSupport.h"

namespace {

using HostTest::fs::path;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = dir.path / "plugins";
        HostTest::MakePluginFolder(folder, ZV_PLUGIN_FILE, ZV_STANDIN_SDK_FILE);
        tone = (dir.path / "tone.wav").string();
        ASSERT_TRUE(HostTest::WriteTone(tone, 16000, 1, 1.0));
    }

    HostTest::ProgramRun Run(std::vector<std::string> args, const std::string& stdinFile = "/dev/null",
                             const std::string& environment = "")
    {
        return HostTest::Run(ZV_HOST_PROGRAM, args, dir.path, stdinFile, environment);
    }
    // Runs over a fake plug-in that fails as `mode` says.
    HostTest::ProgramRun RunFake(const std::string& mode)
    {
        const path fake = dir.path / ("fake-" + mode);
        HostTest::MakePluginFolder(fake, ZV_FAKE_PLUGIN_FILE, "");
        return Run({"--plugins", fake.string(), tone}, "/dev/null", "ORQ_FAKE_PLUGIN=" + mode);
    }

    HostTest::TempDir dir;
    path folder;
    std::string tone;
};

TEST_F(Program, BadArgumentsEndWithStatusTwo)
{
    const auto run = Run({});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "orq8-host: no input given (see --help)\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Run({"--jobs", "many", tone}).status, 2);
}

TEST_F(Program, HelpDocumentsOptionsAndExitStatuses)
{
    const auto run = Run({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* text : {"--enable all|CLASS,...", "--report FILE.html", "--raw", "--jobs N", "Exit status:",
                             "  10  the plug-in refused"})
        EXPECT_THAT(run.out, HasSubstr(text));
}

TEST_F(Program, APluginThatCannotBeLoadedIsStatusThreeWithTheLoadersMessage)
{
    const auto run = Run({"--plugins", (dir.path / "nowhere").string(), tone});
    EXPECT_EQ(run.status, 3);
    EXPECT_THAT(run.err, StartsWith("orq8-host: cannot load the plug-in: "));
    EXPECT_THAT(run.err, HasSubstr("AudioAnalytics_Zelvani.so: cannot open shared object file"));
}

TEST_F(Program, AMissingClassificationLibraryIsStatusFour)
{
    const path bare = dir.path / "bare";
    HostTest::MakePluginFolder(bare, ZV_PLUGIN_FILE, "");
    const auto run = Run({"--plugins", bare.string(), tone});
    EXPECT_EQ(run.status, 4);
    EXPECT_THAT(run.err, StartsWith("orq8-host: cannot load the classification library: "));
    EXPECT_THAT(run.err, HasSubstr("libzv_audio_analytics.so"));
}

TEST_F(Program, ModuleAndDetectorFailuresHaveTheirOwnStatuses)
{
    const auto nine = RunFake("init9");
    EXPECT_EQ(nine.status, 5);
    EXPECT_EQ(nine.err, "orq8-host: the plug-in's module was already initialised (InitializeModule status 9)\n");
    const auto ten = RunFake("init10");
    EXPECT_EQ(ten.status, 6);
    EXPECT_THAT(ten.err, HasSubstr("could not initialise its module (InitializeModule status 10)"));
    const auto none = RunFake("nomodule");
    EXPECT_EQ(none.status, 6);
    EXPECT_THAT(none.err, HasSubstr("GetModule returned null"));
    const auto refused = RunFake("nodetector");
    EXPECT_EQ(refused.status, 7);
    EXPECT_EQ(refused.err, "orq8-host: the plug-in refused to create a detector named AudioAnalytics_Zelvani\n");
}

TEST_F(Program, ARefusedSettingIsStatusEight)
{
    const auto run = Run({"--plugins", folder.string(), "--log-level", "2", "--enable", "Gunshot", tone});
    EXPECT_EQ(run.status, 8);
    EXPECT_THAT(run.err, StartsWith("orq8-host: the detector refused the setting 'enableGunshot' (status 5); "
                                    "known keys: enableGlassBreak, "));
    EXPECT_EQ(HostTest::Lines(run.err).size(), 1u);
}

TEST_F(Program, AnUnreadableInputIsStatusNineAndTheOthersStillRun)
{
    const std::string missing = (dir.path / "missing.wav").string();
    const auto run = Run({"--plugins", folder.string(), "--log-level", "2", missing, tone});
    EXPECT_EQ(run.status, 9);
    EXPECT_THAT(run.err, HasSubstr("orq8-host: cannot read " + missing + ": "));
    EXPECT_THAT(run.err, ::testing::ContainsRegex("tone\\.wav +1\\.0 s"));
}

TEST_F(Program, ARefusedFormatIsStatusTenNamingTheCheck)
{
    const std::string stereo = (dir.path / "stereo.wav").string();
    ASSERT_TRUE(HostTest::WriteTone(stereo, 16000, 2, 0.5));
    const auto run = Run({"--plugins", folder.string(), "--log-level", "4", stereo});
    EXPECT_EQ(run.status, 10);
    EXPECT_THAT(run.err, HasSubstr("orq8-host: " + stereo +
                                   ": the plug-in refused its audio (16000 Hz, 2 channel(s), 16 bit): "
                                   "Unsupported number of channels: 2\n"));
    // Mixed down on the host side, the same file is taken.
    EXPECT_EQ(Run({"--plugins", folder.string(), "--mono", stereo}).status, 0);
}

TEST_F(Program, RawPcmFromStandardInput)
{
    const path raw = dir.path / "mic.raw";
    {
        std::ofstream file(raw, std::ios::binary);
        const std::string silence(2 * 16000 * 2, '\0');  // 1 s, 16-bit, stereo
        file << silence;
    }
    const auto run = Run({"--plugins", folder.string(), "--raw", "--rate", "16000", "--channels", "2", "--bits",
                          "16", "--mono", "--log-level", "2", "-"},
                         raw.string());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.err, ::testing::ContainsRegex("stdin +1\\.0 s"));
    // As delivered (two channels), the plug-in refuses it.
    const auto stereo = Run({"--plugins", folder.string(), "--raw", "--rate", "16000", "--channels", "2", "-"},
                            raw.string());
    EXPECT_EQ(stereo.status, 10);
}

int Count(const std::string& text, const std::string& what)
{
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST_F(Program, TheReportIsOneSelfContainedWellFormedPage)
{
    const std::string second = (dir.path / "second <take>.wav").string();
    ASSERT_TRUE(HostTest::WriteTone(second, 8000, 1, 2.0));
    const path report = dir.path / "report.html";
    const auto run = Run({"--plugins", folder.string(), "--log-level", "2", "--enable", "all", "--report",
                          report.string(), tone, second});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string page = HostTest::ReadFile(report);
    EXPECT_THAT(page, StartsWith("<!DOCTYPE html>\n<html lang=\"en\">"));
    EXPECT_THAT(page, ::testing::EndsWith("</body>\n</html>\n"));
    for (const std::string tag : {"html", "head", "body", "section", "table", "tr", "p", "h1", "h2", "details"})
        EXPECT_EQ(Count(page, "<" + tag + ">") + Count(page, "<" + tag + " "), Count(page, "</" + tag + ">")) << tag;
    EXPECT_EQ(Count(page, "<section>"), 2);
    // Both pictures are embedded PNGs; nothing is fetched from elsewhere.
    EXPECT_EQ(Count(page, "src=\"data:image/png;base64,iVBORw0KGgo"), 2);
    EXPECT_EQ(Count(page, "src="), 2);
    EXPECT_EQ(Count(page, "http"), 0);
    EXPECT_THAT(page, HasSubstr("second &lt;take&gt;.wav"));
    // The stand-in library carries no diagnostics: the curves are left out.
    EXPECT_EQ(Count(page, "No confidence curves: the classification library reports no confidences."), 2);
}

TEST_F(Program, AReportThatCannotBeWrittenIsStatusEleven)
{
    const std::string report = (dir.path / "no-such-folder" / "report.html").string();
    const auto run = Run({"--plugins", folder.string(), "--log-level", "2", "--report", report, tone});
    EXPECT_EQ(run.status, 11);
    EXPECT_THAT(run.err, HasSubstr("orq8-host: cannot write the report " + report));
}

}  // namespace
