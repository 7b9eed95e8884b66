#include "Scoring.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zv::eval {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

bool IsTruePositive(const FileTruth& truth, const Detection& detection, const MatchWindow& window) {
    return truth.classCode != 0 && detection.classCode == truth.classCode &&
           detection.timeS >= truth.onsetS - window.beforeOnsetS &&
           detection.timeS <= truth.offsetS + window.afterOffsetS;
}

double ClassFigures::Recall() const { return files > 0 ? static_cast<double>(filesDetected) / files : kNaN; }

double ClassFigures::Precision() const {
    return detections > 0 ? static_cast<double>(truePositives) / detections : kNaN;
}

double ClassFigures::FalseAlarmsPerHour() const {
    return otherAudioS > 0.0 ? falseAlarms / (otherAudioS / 3600.0) : kNaN;
}

double ClassFigures::MedianLatencyS() const {
    if (latenciesS.empty()) return kNaN;
    std::vector<double> sorted = latenciesS;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : 0.5 * (sorted[n / 2 - 1] + sorted[n / 2]);
}

double Figures::NegativeDetectionsPerHour() const {
    return negativeAudioS > 0.0 ? negativeDetections / (negativeAudioS / 3600.0) : kNaN;
}

Figures Score(const std::vector<FileTruth>& truths, const std::vector<std::vector<Detection>>& detections,
              const MatchWindow& window) {
    Figures figures;
    for (std::size_t i = 0; i < truths.size() && i < detections.size(); ++i) {
        const FileTruth& truth = truths[i];
        ++figures.files;
        figures.audioS += truth.durationS;
        if (truth.classCode == 0) {
            ++figures.negativeFiles;
            figures.negativeAudioS += truth.durationS;
        }
        for (int code = 1; code <= kClassCount; ++code) {
            ClassFigures& c = figures.classes[static_cast<std::size_t>(code)];
            if (truth.classCode == code) ++c.files;
            else c.otherAudioS += truth.durationS;
        }
        bool detected = false;
        for (const Detection& d : detections[i]) {
            if (d.classCode < 1 || d.classCode > kClassCount) continue;
            ClassFigures& c = figures.classes[static_cast<std::size_t>(d.classCode)];
            ++c.detections;
            if (truth.classCode == 0) ++figures.negativeDetections;
            if (IsTruePositive(truth, d, window)) {
                ++c.truePositives;
                if (!detected) {
                    detected = true;
                    ++c.filesDetected;
                    c.latenciesS.push_back(d.timeS - truth.onsetS);
                }
            } else if (truth.classCode != d.classCode) {
                ++c.falseAlarms;
            }
        }
        int first = 0;
        for (const Detection& d : detections[i])
            if (d.classCode >= 1 && d.classCode <= kClassCount) {
                first = d.classCode;
                break;
            }
        ++figures.confusion[static_cast<std::size_t>(truth.classCode)][static_cast<std::size_t>(first)];
    }
    return figures;
}

RecallBySnr ScoreRecallBySnr(const std::vector<FileTruth>& truths, const std::vector<double>& snrDb,
                             const std::vector<std::vector<Detection>>& detections, const MatchWindow& window) {
    RecallBySnr table;
    for (std::size_t i = 0; i < truths.size() && i < snrDb.size() && i < detections.size(); ++i) {
        if (truths[i].classCode == 0 || std::isnan(snrDb[i])) continue;
        RecallCount& count =
            table[static_cast<int>(std::lround(snrDb[i]))][static_cast<std::size_t>(truths[i].classCode)];
        ++count.files;
        if (std::any_of(detections[i].begin(), detections[i].end(),
                        [&](const Detection& d) { return IsTruePositive(truths[i], d, window); }))
            ++count.detected;
    }
    return table;
}

}  // namespace zv::eval
