// The command line: what each option sets, and the one-line refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "Options.h"

namespace {

using OrqHost::ExitUsage;
using OrqHost::HostError;
using OrqHost::Options;
using OrqHost::ParseArguments;
using OrqHost::ParseIsoTime;
using OrqHost::Setting;
using ::testing::HasSubstr;

// The refusal's message, or "" when the arguments were taken.
std::string Refusal(const std::vector<std::string>& args)
{
    try {
        ParseArguments(args);
    } catch (const HostError& e) {
        EXPECT_EQ(e.status(), ExitUsage);
        return e.what();
    }
    return "";
}

TEST(Options, DefaultsForOneFile)
{
    const Options o = ParseArguments({"site.wav"});
    EXPECT_EQ(o.inputs, std::vector<std::string>{"site.wav"});
    EXPECT_EQ(o.bufferMs, 100u);
    EXPECT_EQ(o.logLevel, 1u);
    EXPECT_EQ(o.jobs, 0u);
    EXPECT_FALSE(o.start.has_value());
    EXPECT_FALSE(o.raw);
    EXPECT_TRUE(o.settings.empty());
    EXPECT_TRUE(o.pluginFolder.empty());
}

TEST(Options, EnableAllThresholdAndSetBecomeSettingsInOrder)
{
    const Options o = ParseArguments({"--enable", "all", "--threshold", "GunShot=0.7", "--set=enableSiren=false",
                                      "--set", "confThresholdDogBark=0.25", "--set", "mode=fast", "a.wav"});
    ASSERT_EQ(o.settings.size(), 11u);
    EXPECT_EQ(o.settings[0].key, "enableGlassBreak");
    EXPECT_EQ(o.settings[6].key, "enableDogBark");
    EXPECT_TRUE(o.settings[6].boolValue);
    EXPECT_EQ(o.settings[7].key, "confThresholdGunShot");
    EXPECT_EQ(o.settings[7].type, Setting::Type::Double);
    EXPECT_DOUBLE_EQ(o.settings[7].doubleValue, 0.7);
    EXPECT_EQ(o.settings[8].type, Setting::Type::Bool);
    EXPECT_FALSE(o.settings[8].boolValue);
    EXPECT_EQ(o.settings[9].type, Setting::Type::Double);
    EXPECT_EQ(o.settings[10].type, Setting::Type::Text);
    EXPECT_EQ(o.settings[10].textValue, "fast");
}

TEST(Options, EnableListNamesEachClass)
{
    const Options o = ParseArguments({"--enable", "GunShot,Siren", "a.wav"});
    ASSERT_EQ(o.settings.size(), 2u);
    EXPECT_EQ(o.settings[0].key, "enableGunShot");
    EXPECT_EQ(o.settings[1].key, "enableSiren");
}

TEST(Options, RawTakesItsFormatFromRateChannelsAndBits)
{
    const Options o = ParseArguments({"--raw", "--rate", "16000", "--channels", "2", "--bits", "24", "-j", "3", "-"});
    EXPECT_TRUE(o.raw);
    EXPECT_EQ(o.rawFormat.sampleRate, 16000u);
    EXPECT_EQ(o.rawFormat.numChannels, 2u);
    EXPECT_EQ(o.rawFormat.bitsPerSample, 24u);
    EXPECT_EQ(o.rate, 0u) << "with --raw the rate describes the input and converts nothing";
    EXPECT_EQ(o.jobs, 3u);
    EXPECT_EQ(o.inputs, std::vector<std::string>{"-"});
}

TEST(Options, FilesWithRateAndMonoAreConverted)
{
    const Options o = ParseArguments({"--mono", "--rate=8000", "--buffer-ms", "40", "--start",
                                      "2026-03-14T09:26:53.120Z", "a.wav", "b.flac"});
    EXPECT_TRUE(o.mono);
    EXPECT_EQ(o.rate, 8000u);
    EXPECT_EQ(o.bufferMs, 40u);
    EXPECT_EQ(o.start, std::optional<std::uint64_t>(1773480413120ULL));
    EXPECT_EQ(o.inputs.size(), 2u);
}

TEST(Options, RefusalsNameWhatIsWrong)
{
    EXPECT_THAT(Refusal({}), HasSubstr("no input given"));
    EXPECT_THAT(Refusal({"--frobnicate", "a.wav"}), HasSubstr("unknown option '--frobnicate'"));
    EXPECT_THAT(Refusal({"--jobs", "0", "a.wav"}), HasSubstr("--jobs wants a whole number from 1"));
    EXPECT_THAT(Refusal({"--buffer-ms", "ten", "a.wav"}), HasSubstr("not 'ten'"));
    EXPECT_THAT(Refusal({"--threshold", "GunShot=high", "a.wav"}), HasSubstr("--threshold GunShot wants a number"));
    EXPECT_THAT(Refusal({"--set", "novalue", "a.wav"}), HasSubstr("--set wants KEY=VALUE"));
    EXPECT_THAT(Refusal({"--start", "yesterday", "a.wav"}), HasSubstr("--start wants an ISO-8601 time"));
    EXPECT_THAT(Refusal({"--raw", "-"}), HasSubstr("--raw wants --rate N"));
    EXPECT_THAT(Refusal({"-"}), HasSubstr("raw PCM only"));
    EXPECT_THAT(Refusal({"--raw", "--rate", "8000", "-", "-"}), HasSubstr("can be given once"));
    EXPECT_THAT(Refusal({"--bits", "12", "--raw", "--rate", "8000", "-"}), HasSubstr("8, 16, 24 or 32"));
    EXPECT_THAT(Refusal({"--channels", "2", "a.wav"}), HasSubstr("add --raw"));
    EXPECT_THAT(Refusal({"--mono=yes", "a.wav"}), HasSubstr("--mono takes no value"));
    EXPECT_THAT(Refusal({"a.wav", "--report"}), HasSubstr("--report wants a value"));
    EXPECT_THAT(Refusal({"--enable", "GunShot,,Siren", "a.wav"}), HasSubstr("class names separated by commas"));
}

TEST(Options, HelpNeedsNoInputAndAfterTwoDashesEverythingIsAnInput)
{
    EXPECT_TRUE(ParseArguments({"--help"}).help);
    EXPECT_EQ(ParseArguments({"--", "--json"}).inputs, std::vector<std::string>{"--json"});
}

TEST(IsoTime, ZoneFractionAndDateOnly)
{
    EXPECT_EQ(ParseIsoTime("1970-01-01T00:00:30Z"), std::optional<std::uint64_t>(30000));
    EXPECT_EQ(ParseIsoTime("2026-03-14T09:26:53.1Z"), std::optional<std::uint64_t>(1773480413100ULL));
    EXPECT_EQ(ParseIsoTime("2026-03-14T10:26:53+01:00"), std::optional<std::uint64_t>(1773480413000ULL));
    EXPECT_EQ(ParseIsoTime("2026-03-14"), std::optional<std::uint64_t>(1773446400000ULL));
    EXPECT_FALSE(ParseIsoTime("2026-13-01T00:00:00Z"));
    EXPECT_FALSE(ParseIsoTime("14/03/2026"));
    EXPECT_FALSE(ParseIsoTime("1969-12-31T23:59:59Z"));
}

}  // namespace
