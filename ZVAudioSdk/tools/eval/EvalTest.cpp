// The evaluation's own logic: command line, manifest, audio bytes, the
// matching window and the per-class arithmetic on hand-made detections.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "AudioFile.h"
#include "Manifest.h"
#include "Options.h"
#include "Scoring.h"

namespace zv::eval {
namespace {

TEST(EvalOptions, PerClassThresholdsApplyAfterTheAllClassValue) {
    const Options o = ParseOptions({"--threshold", "Siren=0.2", "--threshold", "0.7", "--split", "holdout", "set"}, "share");
    EXPECT_EQ(o.folder, "set");
    EXPECT_EQ(o.data, "share");
    EXPECT_EQ(o.split, "holdout");
    EXPECT_EQ(o.thresholds, (Thresholds{0.7f, 0.7f, 0.7f, 0.7f, 0.7f, 0.2f, 0.7f}));

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--threshold", "1.5", "x"}, {"--threshold", "Cat=0.5", "x"},
          {"--threshold", "nan", "x"}, {"--split", "all", "x"}, {"--bogus", "x"}, {"x", "y"}, {}})
        EXPECT_THROW(ParseOptions(bad, "share"), std::runtime_error) << bad.size();
}

TEST(EvalAudio, SixteenBitLittleEndianInterleavedWholeFramesOnly) {
    // 1.03 s of 48 kHz stereo: 25 whole 40 ms frames are kept.
    const std::string path = testing::TempDir() + "zv_eval_audio.wav";
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> samples(2 * 49440, 0);
    samples[0] = 0x1234;
    samples[1] = -2;
    ASSERT_EQ(sf_writef_short(file, samples.data(), 49440), 49440);
    sf_close(file);

    const Audio audio = ReadAudio(path);
    EXPECT_EQ(audio.sampleRate, 48000u);
    EXPECT_EQ(audio.channels, 2u);
    EXPECT_EQ(audio.pcm.size(), 25u * 1920u * 2u * 2u);
    EXPECT_DOUBLE_EQ(audio.durationS, 1.0);
    EXPECT_EQ(std::vector<std::uint8_t>(audio.pcm.begin(), audio.pcm.begin() + 4),
              (std::vector<std::uint8_t>{0x34, 0x12, 0xFE, 0xFF}));
    std::remove(path.c_str());
    EXPECT_THROW(ReadAudio(path), std::runtime_error);
}

TEST(EvalManifest, QuotedFieldsAndColumnsByName) {
    EXPECT_EQ(SplitCsvLine("a,\"b, c\",\"say \"\"hi\"\"\",\r"),
              (std::vector<std::string>{"a", "b, c", "say \"hi\"", ""}));
    const Manifest m = ParseManifest(
        "label,file,extra,event_end_s,event_start_s,snr_db,split,sub_label\r\n"
        "Siren,s.wav,\"x, y\",3.5,1.25,10,holdout,\"wail, slow\"\r\n"
        "negative,n.wav,,4,0,,tune,speech\n");
    ASSERT_EQ(m.rows.size(), 2u);
    EXPECT_TRUE(m.hasSnr);
    EXPECT_TRUE(m.hasSplit);
    EXPECT_EQ(m.rows[0].file, "s.wav");
    EXPECT_EQ(m.rows[0].classCode, 6);
    EXPECT_EQ(m.rows[0].subLabel, "wail, slow");
    EXPECT_DOUBLE_EQ(m.rows[0].onsetS, 1.25);
    EXPECT_DOUBLE_EQ(m.rows[0].offsetS, 3.5);
    EXPECT_EQ(m.rows[0].snrDb, 10.0);
    EXPECT_EQ(m.rows[1].classCode, 0);
    EXPECT_FALSE(m.rows[1].snrDb.has_value());
    EXPECT_EQ(m.rows[1].split, "tune");

    EXPECT_THROW(ParseManifest("file,label,event_start_s,event_end_s\nx.wav,Cat,0,1\n"), std::runtime_error);
    EXPECT_THROW(ParseManifest("file,label,event_start_s\nx.wav,Siren,0\n"), std::runtime_error);
    EXPECT_THROW(ParseManifest("file,label,event_start_s,event_end_s\nx.wav,Siren,0,1s\n"), std::runtime_error);
}

TEST(EvalScoring, MatchingWindowEdges) {
    const FileTruth siren{6, 2.0, 5.0, 8.0};
    const MatchWindow w;
    EXPECT_TRUE(IsTruePositive(siren, {1.9, 6}, w));
    EXPECT_FALSE(IsTruePositive(siren, {1.85, 6}, w));
    EXPECT_TRUE(IsTruePositive(siren, {6.0, 6}, w));
    EXPECT_FALSE(IsTruePositive(siren, {6.05, 6}, w));
    EXPECT_FALSE(IsTruePositive(siren, {3.0, 2}, w));
    EXPECT_FALSE(IsTruePositive(FileTruth{0, 0.0, 8.0, 8.0}, {3.0, 6}, w));
}

TEST(EvalScoring, RecallPrecisionFalseAlarmsLatencyAndConfusion) {
    // Siren file detected twice in its window and once after it; a Siren
    // file missed but called DogBark; a negative half hour with one Siren
    // and one DogBark detection.
    const std::vector<FileTruth> truths{{6, 1.0, 4.0, 10.0}, {6, 1.0, 4.0, 10.0}, {0, 0.0, 1800.0, 1800.0}};
    const std::vector<std::vector<Detection>> detections{
        {{1.6, 6}, {2.6, 6}, {9.0, 6}}, {{2.0, 7}}, {{100.0, 6}, {200.0, 7}}};
    const Figures f = Score(truths, detections, MatchWindow{});

    const ClassFigures& siren = f.classes[6];
    EXPECT_EQ(siren.files, 2);
    EXPECT_DOUBLE_EQ(siren.Recall(), 0.5);
    EXPECT_EQ(siren.detections, 4);
    EXPECT_DOUBLE_EQ(siren.Precision(), 0.5);
    EXPECT_EQ(siren.falseAlarms, 1);
    EXPECT_DOUBLE_EQ(siren.FalseAlarmsPerHour(), 2.0);
    EXPECT_NEAR(siren.MedianLatencyS(), 0.6, 1e-12);

    const ClassFigures& bark = f.classes[7];
    EXPECT_TRUE(std::isnan(bark.Recall()));
    EXPECT_DOUBLE_EQ(bark.Precision(), 0.0);
    EXPECT_EQ(bark.falseAlarms, 2);
    EXPECT_DOUBLE_EQ(bark.FalseAlarmsPerHour(), 2.0 / (1820.0 / 3600.0));
    EXPECT_TRUE(std::isnan(bark.MedianLatencyS()));

    EXPECT_EQ(f.confusion[6][6], 1);
    EXPECT_EQ(f.confusion[6][7], 1);
    EXPECT_EQ(f.confusion[0][6], 1);
    EXPECT_EQ(f.files, 3);
    EXPECT_DOUBLE_EQ(f.audioS, 1820.0);
    EXPECT_EQ(f.negativeFiles, 1);
    EXPECT_DOUBLE_EQ(f.NegativeDetectionsPerHour(), 4.0);
}

TEST(EvalScoring, RecallBySnrLeavesOutNegatives) {
    const std::vector<FileTruth> truths{{2, 1.0, 3.0, 6.0}, {2, 1.0, 3.0, 6.0}, {2, 1.0, 3.0, 6.0}, {0, 0.0, 6.0, 6.0}};
    const std::vector<double> snr{10.2, 9.8, 0.0, std::nan("")};
    const std::vector<std::vector<Detection>> detections{{{2.0, 2}}, {}, {{2.0, 2}}, {{1.0, 2}}};
    const RecallBySnr table = ScoreRecallBySnr(truths, snr, detections, MatchWindow{});
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at(10)[2].files, 2);
    EXPECT_EQ(table.at(10)[2].detected, 1);
    EXPECT_EQ(table.at(0)[2].files, 1);
    EXPECT_EQ(table.at(0)[2].detected, 1);
}

}  // namespace
}  // namespace zv::eval
