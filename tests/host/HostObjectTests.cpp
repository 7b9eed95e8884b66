// The host's objects one by one: the logger, the event factory and its
// printed lines, the audio sample, the inputs and the confidence probe.
#include <cstdio>
#include <regex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "AudioBuffer.h"
#include "AudioInput.h"
#include "Confidence.h"
#include "Console.h"
#include "Events.h"
#include "ExitStatus.h"
#include "HostTestSupport.h"
#include "Logger.h"
#include "zv_audio_analytics.h"

namespace {

using namespace OrqHost;
using ::testing::HasSubstr;

constexpr std::uint64_t kTime = 1700000000000ULL;  // 2023-11-14T22:13:20.000Z

// A console over two temporary files, read back as text.
class CapturedConsole {
public:
    CapturedConsole() : out(std::tmpfile()), err(std::tmpfile()), console(out, err) {}
    ~CapturedConsole()
    {
        std::fclose(out);
        std::fclose(err);
    }
    std::string Out() { return Read(out); }
    std::string Err() { return Read(err); }

    std::FILE* out;
    std::FILE* err;
    Console console;

private:
    static std::string Read(std::FILE* file)
    {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }
};

TEST(Logger, WritesAdmittedLinesWithTimeLevelAndLocation)
{
    CapturedConsole io;
    StderrLogger logger(io.console, 1);
    EXPECT_EQ(logger.GetLogLevel(), 1u);
    logger.Log(0, "trace detail");
    logger.Log(1, "src/Module", 29, "BaseModule", "version line");
    logger.Log(2, "short warning");
    const auto lines = HostTest::Lines(io.Err());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z INFO    src/Module:29 BaseModule: version line)")))
        << lines[0];
    EXPECT_THAT(lines[1], ::testing::EndsWith("Z WARNING short warning"));
    EXPECT_EQ(ORQ8::QueryContract<ORQ8::ILogger>(&logger), &logger);
}

TEST(Logger, RemembersTheLastErrorOfEachThreadEvenWhenNotPrinted)
{
    CapturedConsole io;
    StderrLogger logger(io.console, 4);
    EXPECT_EQ(logger.GetLogLevel(), 3u) << "error lines are always asked for";
    StderrLogger::ForgetLastError();
    logger.Log(3, "file", 81, "Check", "Unsupported sample rate: 44100");
    std::string otherThread = "unset";
    std::thread([&] { otherThread = StderrLogger::LastError(); }).join();
    EXPECT_EQ(StderrLogger::LastError(), "Unsupported sample rate: 44100");
    EXPECT_EQ(otherThread, "");
    EXPECT_EQ(io.Err(), "");
}

TEST(Logger, LinesFromManyThreadsStayWhole)
{
    CapturedConsole io;
    StderrLogger logger(io.console, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&logger, t] {
            const std::string message = std::string(200, static_cast<char>('a' + t));
            for (int i = 0; i < 100; ++i)
                logger.Log(1, "f", i, "g", message.c_str());
        });
    for (auto& thread : threads)
        thread.join();
    const auto lines = HostTest::Lines(io.Err());
    ASSERT_EQ(lines.size(), 400u);
    for (const std::string& line : lines)
        ASSERT_TRUE(std::regex_match(line, std::regex(R"(\S+ INFO    f:\d+ g: (a{200}|b{200}|c{200}|d{200}))")))
            << line;
}

TEST(Events, ACommittedEventIsPrintedCountedAndObserved)
{
    CapturedConsole io;
    EventSink sink(io.console, false);
    std::vector<CommittedEvent> seen;
    HostEventFactory factory(sink, "site.wav", [&](const CommittedEvent& e) { seen.push_back(e); });
    ORQ8::Analytics::IHostEvent* event = factory.CreateEvent(nullptr, "GunShot", kTime, 3);
    ASSERT_NE(event, nullptr);
    EXPECT_STREQ(event->GetName(), "GunShot");
    ASSERT_NE(event->GetArgsAdjuster(), nullptr);
    EXPECT_EQ(event->GetArgsAdjuster()->SetValue("DetectorsGroup", "AudioDetector"), 0);
    EXPECT_EQ(event->GetArgsAdjuster()->SetValue("Note", "two words"), 0);
    EXPECT_EQ(event->GetArgsAdjuster()->SetValue("Score", 0.5), 0);
    event->Commit();

    EXPECT_EQ(io.Out(),
              "2023-11-14T22:13:20.000Z  site.wav  GunShot  DetectorsGroup=AudioDetector  Note=\"two words\"  Score=0.5\n");
    EXPECT_EQ(factory.CommittedByName().at("GunShot"), 1u);
    EXPECT_EQ(sink.committed.load(), 1u);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].timestamp, kTime);
    EXPECT_EQ(seen[0].input, "site.wav");
}

TEST(Events, JsonLinesCarryTimeInputKindAndArguments)
{
    CapturedConsole io;
    EventSink sink(io.console, true);
    HostEventFactory factory(sink, "a \"quoted\" name.wav");
    ORQ8::Analytics::IHostEvent* event = factory.CreateEvent(nullptr, "Siren", kTime + 120, 1);
    event->GetArgsAdjuster()->SetValue("Count", std::int32_t{3});
    event->GetArgsAdjuster()->SetValue("Open", true);
    event->Commit();
    const auto json = nlohmann::json::parse(io.Out());
    EXPECT_EQ(json["time"], "2023-11-14T22:13:20.120Z");
    EXPECT_EQ(json["timestamp"], kTime + 120);
    EXPECT_EQ(json["input"], "a \"quoted\" name.wav");
    EXPECT_EQ(json["event"], "Siren");
    EXPECT_EQ(json["kind"], "begin");
    EXPECT_EQ(json["args"]["Count"], 3);
    EXPECT_EQ(json["args"]["Open"], true);
}

TEST(Events, CancelledAndRefusedEventsAreCountedNotPrinted)
{
    CapturedConsole io;
    EventSink sink(io.console, false);
    HostEventFactory factory(sink, "in");
    factory.CreateEvent(nullptr, "DogBark", kTime, 3)->Cancel();
    EXPECT_EQ(factory.CreateEvent(nullptr, nullptr, kTime, 3), nullptr);
    EXPECT_EQ(factory.CreateEvent(nullptr, "DogBark", kTime, 7), nullptr);
    // An event the raiser never ends is freed with the factory.
    factory.CreateEvent(nullptr, "DogBark", kTime, 3);
    EXPECT_EQ(io.Out(), "");
    EXPECT_EQ(factory.Cancelled(), 1u);
    EXPECT_EQ(factory.Refused(), 2u);
    EXPECT_EQ(sink.cancelled.load(), 1u);
    EXPECT_EQ(sink.refused.load(), 2u);
    EXPECT_TRUE(factory.CommittedByName().empty());
}

TEST(Events, ABufferArgumentBelongsToTheHost)
{
    CapturedConsole io;
    EventSink sink(io.console, false);
    HostEventFactory factory(sink, "in");
    ORQ8::Analytics::IHostEvent* event = factory.CreateTargetListEvent(nullptr, "TargetList", 42);
    auto* list = new PcmBuffer(0, {16000, 1, 16}, {}, "targets");
    EXPECT_EQ(event->GetArgsAdjuster()->SetMultimediaBuffer("TargetList", list), 0);
    event->Commit();
    EXPECT_EQ(io.Out(), "list value 42  in  TargetList (target list)  TargetList=\"<buffer targets>\"\n");
}

TEST(AudioSample, AnswersItsFacesAndCarriesItsFormat)
{
    auto* sample = new PcmBuffer(kTime, {16000, 1, 16}, {1, 2, 3, 4}, "mic");
    auto* pcm = ORQ8::QueryContract<ORQ8::MFF::IAudioBufferPcm>(sample);
    ASSERT_EQ(pcm, sample);
    EXPECT_EQ(ORQ8::QueryContract<ORQ8::MFF::IMultimediaBuffer>(sample), sample);
    EXPECT_EQ(sample->GetContract(nullptr), nullptr);
    EXPECT_EQ(sample->GetContract("N4ORQ89Analytics9IDetectorE"), nullptr);
    EXPECT_EQ(pcm->GetTimestamp(), kTime);
    EXPECT_STREQ(pcm->GetBufferName(), "mic");
    EXPECT_EQ(pcm->GetDataSize(), 4u);
    EXPECT_EQ(pcm->GetData()[3], 4);
    EXPECT_EQ(pcm->GetSampleRate(), 16000u);
    EXPECT_EQ(pcm->GetNumChannels(), 1u);
    EXPECT_EQ(pcm->GetBitsPerSample(), 16u);
    pcm->Destroy();
}

TEST(Input, ASoundFileKeepsItsOwnWidthRateAndChannels)
{
    HostTest::TempDir dir;
    const auto path = dir.path / "stereo24.wav";
    ASSERT_TRUE(HostTest::WriteTone(path, 8000, 2, 0.5, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    auto source = OpenSoundFile(path.string());
    EXPECT_EQ(source->Format().sampleRate, 8000u);
    EXPECT_EQ(source->Format().numChannels, 2u);
    EXPECT_EQ(source->Format().bitsPerSample, 24u);
    EXPECT_EQ(source->TotalFrames(), 4000u);
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(source->Read(bytes, 1000), 1000u);
    EXPECT_EQ(bytes.size(), 6000u);
    std::vector<float> samples;
    DecodePcm(bytes.data(), bytes.size(), source->Format(), samples);
    ASSERT_EQ(samples.size(), 2000u);
    EXPECT_NEAR(*std::max_element(samples.begin(), samples.end()), 0.5f, 0.01f);
    EXPECT_FLOAT_EQ(samples[2], samples[3]) << "both channels carry the tone";
}

TEST(Input, MonoAndRateConversionDeliverSixteenBitAtTheNewRate)
{
    HostTest::TempDir dir;
    const auto path = dir.path / "stereo44k.wav";
    ASSERT_TRUE(HostTest::WriteTone(path, 44100, 2, 1.0));
    auto source = Converted(OpenSoundFile(path.string()), true, 16000);
    EXPECT_EQ(source->Format().sampleRate, 16000u);
    EXPECT_EQ(source->Format().numChannels, 1u);
    EXPECT_EQ(source->Format().bitsPerSample, 16u);
    std::uint64_t frames = 0;
    std::vector<float> samples;
    std::vector<std::uint8_t> bytes;
    while (const std::size_t got = source->Read(bytes, 1600)) {
        frames += got;
        DecodePcm(bytes.data(), bytes.size(), source->Format(), samples);
    }
    EXPECT_NEAR(static_cast<double>(frames), 16000.0, 16.0);
    EXPECT_NEAR(*std::max_element(samples.begin() + 1000, samples.end() - 1000), 0.5f, 0.02f);
    EXPECT_EQ(samples.size(), frames);
}

TEST(Input, RawPcmDropsATrailingPartialFrame)
{
    HostTest::TempDir dir;
    const auto path = dir.path / "mic.raw";
    {
        std::ofstream raw(path, std::ios::binary);
        const std::string bytes(1001, '\x10');
        raw << bytes;
    }
    auto source = OpenRawPcm(path.string(), {16000, 1, 16});
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(source->Read(bytes, 400), 400u);
    EXPECT_EQ(source->Read(bytes, 400), 100u);
    EXPECT_EQ(bytes.size(), 200u);
    EXPECT_EQ(source->Read(bytes, 400), 0u);
}

TEST(Input, AnUnreadableFileIsNamedWithItsReason)
{
    HostTest::TempDir dir;
    const auto text = dir.path / "notes.wav";
    std::ofstream(text) << "not audio";
    for (const auto& path : {dir.path / "missing.wav", text}) {
        try {
            OpenSoundFile(path.string());
            ADD_FAILURE() << path << " was opened";
        } catch (const HostError& e) {
            EXPECT_EQ(e.status(), ExitInputUnreadable);
            EXPECT_THAT(e.what(), HasSubstr("cannot read " + path.string() + ": "));
        }
    }
}

TEST(Input, DecodesEveryWidth)
{
    std::vector<float> out;
    const std::uint8_t u8[] = {0x80, 0xC0};
    DecodePcm(u8, 2, {8000, 1, 8}, out);
    const std::uint8_t s16[] = {0x00, 0x80};
    DecodePcm(s16, 2, {8000, 1, 16}, out);
    const std::uint8_t s24[] = {0x00, 0x00, 0x40};
    DecodePcm(s24, 3, {8000, 1, 24}, out);
    const std::uint8_t s32[] = {0x00, 0x00, 0x00, 0xC0};
    DecodePcm(s32, 4, {8000, 1, 32}, out);
    EXPECT_THAT(out, ::testing::ElementsAre(0.0f, 0.5f, -1.0f, 0.5f, -0.5f));
}

// A library of the test's own: every frame's confidences count up by frame.
namespace FakeLibrary {
std::int32_t layout = ZV_AUDIO_DIAGNOSTICS_LAYOUT;
int engine;
void* Init(const void*) { return &engine; }
const char* Version() { return "fake"; }
std::int32_t SetParams(void*, const void*) { return 0; }
std::int32_t Process(void*, std::uint32_t frameIndex, const void* frame, void* output)
{
    auto* record = static_cast<ZvAudioOutputDiagnostics*>(output);
    record->layout = layout;
    for (int i = 0; i < ZV_AUDIO_CLASS_COUNT; ++i)
        record->confidence[i] = static_cast<float>(frameIndex % 10) / 10 + static_cast<float>(i) / 100;
    return static_cast<const FrameRecord*>(frame)->size == 1280 ? 0 : 5;
}
std::int32_t Release(void*) { return 0; }

std::unique_ptr<ClassificationLibrary> Make()
{
    auto library = ClassificationLibrary::Unloaded("/nowhere");
    library->init = Init;
    library->versionInfo = Version;
    library->setParams = SetParams;
    library->process = Process;
    library->release = Release;
    return library;
}
}  // namespace FakeLibrary

TEST(Confidence, ReadsSevenConfidencesPerFortyMillisecondFrame)
{
    FakeLibrary::layout = ZV_AUDIO_DIAGNOSTICS_LAYOUT;
    auto library = FakeLibrary::Make();
    std::array<float, 7> thresholds{};
    thresholds.fill(0.99f);
    ConfidenceProbe probe(library.get(), {16000, 1, 16}, thresholds);
    const std::vector<std::uint8_t> second(32000);
    for (std::size_t offset = 0; offset < second.size(); offset += 1000)
        probe.Feed(second.data() + offset, std::min<std::size_t>(1000, second.size() - offset));
    ASSERT_TRUE(probe.Available()) << probe.Unavailable();
    ASSERT_EQ(probe.Frames().size(), 25u);
    EXPECT_FLOAT_EQ(probe.Frames()[3][0], 0.3f);
    EXPECT_FLOAT_EQ(probe.Frames()[3][6], 0.36f);
}

TEST(Confidence, LongInputsAreFoldedKeepingTheMaximum)
{
    FakeLibrary::layout = ZV_AUDIO_DIAGNOSTICS_LAYOUT;
    auto library = FakeLibrary::Make();
    ConfidenceProbe probe(library.get(), {16000, 1, 16}, {});
    const std::vector<std::uint8_t> frame(1280);
    for (std::size_t i = 0; i < ConfidenceProbe::kMaxEntries + 2; ++i)
        probe.Feed(frame.data(), frame.size());
    EXPECT_EQ(probe.FramesPerEntry(), 2u);
    EXPECT_EQ(probe.Frames().size(), ConfidenceProbe::kMaxEntries / 2 + 1);
    EXPECT_FLOAT_EQ(probe.Frames()[0][0], 0.1f);
    EXPECT_FLOAT_EQ(probe.Frames()[4][0], 0.9f);
}

TEST(Confidence, ALibraryWithoutTheDiagnosticsLayoutGivesNoCurves)
{
    FakeLibrary::layout = 0;
    auto library = FakeLibrary::Make();
    ConfidenceProbe probe(library.get(), {16000, 1, 16}, {});
    const std::vector<std::uint8_t> frames(2560);
    probe.Feed(frames.data(), frames.size());
    EXPECT_FALSE(probe.Available());
    EXPECT_THAT(probe.Unavailable(), HasSubstr("reports no confidences"));
    EXPECT_TRUE(probe.Frames().empty());
    FakeLibrary::layout = ZV_AUDIO_DIAGNOSTICS_LAYOUT;
}

TEST(Confidence, WithoutALibraryThereAreNoCurves)
{
    ConfidenceProbe probe(nullptr, {16000, 1, 16}, {});
    EXPECT_FALSE(probe.Available());
    EXPECT_THAT(probe.Unavailable(), HasSubstr("not loaded"));
}

}  // namespace
