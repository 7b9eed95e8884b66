// Turning the library's detections on a labelled folder into figures. Pure
// functions over plain records, apart from the library and the files.
//
// The matching rule:
// - A detection is the frame on which the library reports a class
//   (resultFlag 1, resultKind 2, classCode 1..7). Its time is the end of that
//   frame: the library cannot know a sound before its frame has arrived.
// - A detection of class C is a true positive when the file is labelled C and
//   its time lies within [onset - 0.1 s, offset + 1.0 s] of the labelled
//   event (the margin after the event lets cadence and history based
//   detectors confirm a sound just after it ends).
// - Recall of C: files labelled C with at least one true positive, over all
//   files labelled C.
// - Precision of C: true-positive detections of C over all detections of C
//   (repeated reports of one long event each count; so do detections of C in
//   a C file outside the window, which are wrong but not false alarms).
// - False alarms of C: detections of C in files not labelled C, per hour of
//   the audio of those files (negatives and other classes' files alike).
// - Latency of a detected C file: time of its first true positive minus the
//   labelled onset; the table shows the median over the detected files.
// - Detections in negatives: every detection, of any class, in files
//   labelled negative, per hour of their audio.
// - Confusion: each file counts once, in the row of its label and the
//   column of the class of its first detection anywhere in the file, or
//   "none".
#pragma once

#include <array>
#include <map>
#include <vector>

#include "Classes.h"

namespace zv::eval {

struct MatchWindow {
    double beforeOnsetS = 0.1;
    double afterOffsetS = 1.0;
};

// What the evaluation knows of one file's label.
struct FileTruth {
    int classCode = 0;   // 0 negative
    double onsetS = 0.0;
    double offsetS = 0.0;
    double durationS = 0.0;  // length of the audio processed
};

struct Detection {
    double timeS = 0.0;  // end of the detecting frame
    int classCode = 0;   // 1..7
};

// Whether `detection` is a true positive in a file labelled as `truth`.
bool IsTruePositive(const FileTruth& truth, const Detection& detection, const MatchWindow& window);

struct ClassFigures {
    int files = 0;            // files labelled with the class
    int filesDetected = 0;    // of those, files with a true positive
    int detections = 0;       // all detections of the class
    int truePositives = 0;    // detections that are true positives
    int falseAlarms = 0;      // detections in files not labelled with the class
    double otherAudioS = 0.0; // audio of files not labelled with the class
    std::vector<double> latenciesS;  // per detected file

    // NaN when undefined (no files, no detections, no other audio).
    double Recall() const;
    double Precision() const;
    double FalseAlarmsPerHour() const;
    double MedianLatencyS() const;
};

struct Figures {
    std::array<ClassFigures, kClassCount + 1> classes{};  // index = class code; 0 unused
    // confusion[true label code][first detected code or 0 for none]
    std::array<std::array<int, kClassCount + 1>, kClassCount + 1> confusion{};
    int files = 0;
    double audioS = 0.0;
    // Negative files alone: their audio and every detection in them, of
    // any class.
    int negativeFiles = 0;
    double negativeAudioS = 0.0;
    int negativeDetections = 0;
    double NegativeDetectionsPerHour() const;
};

// Scores files against their detections; truths[i] goes with detections[i].
Figures Score(const std::vector<FileTruth>& truths, const std::vector<std::vector<Detection>>& detections,
              const MatchWindow& window);

// Recall of each class per SNR group (the file's snr_db rounded to a whole
// dB); negatives and files without an SNR are left out.
struct RecallCount {
    int files = 0;
    int detected = 0;
};
using RecallBySnr = std::map<int, std::array<RecallCount, kClassCount + 1>>;
RecallBySnr ScoreRecallBySnr(const std::vector<FileTruth>& truths, const std::vector<double>& snrDb,
                             const std::vector<std::vector<Detection>>& detections, const MatchWindow& window);

}  // namespace zv::eval
