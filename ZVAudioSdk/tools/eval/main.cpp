// zv_eval: runs a labelled folder (manifest.csv and WAV files) through the
// classification library's five calls, as the plug-in drives them, and
// prints how well each class is heard: per-class recall, precision, false
// alarms per hour and latency, recall by SNR, a confusion table and a
// precision/recall table over thresholds. The matching rule is in Scoring.h.
#include <fmt/format.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Classes.h"
#include "Manifest.h"
#include "Options.h"
#include "Runner.h"
#include "Scoring.h"
#include "zv_audio_analytics.h"

#ifndef ZV_EVAL_DEFAULT_DATA
#define ZV_EVAL_DEFAULT_DATA "ZVAudioSdk/share"
#endif

namespace {

using namespace zv::eval;
using nlohmann::json;

// Thresholds of the precision/recall table; each row re-runs the library
// with all seven thresholds at that value.
constexpr float kSweep[] = {0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 0.95f, 0.99f};

// One file of the evaluation. Its audio is read again for each pass, so a
// large set need not fit in memory.
struct Item {
    ManifestRow row;
    std::string path;
    FileTruth truth;
};

struct Pass {
    std::vector<RunResult> results;
    std::vector<std::vector<Detection>> detections;
    double cpuS = 0.0;
};

Pass RunPass(const std::vector<Item>& items, const std::string& data, const Thresholds& thresholds) {
    Pass pass;
    for (const Item& item : items) {
        RunResult r = RunLibrary(ReadAudio(item.path), data, thresholds);
        pass.cpuS += r.processCpuS;
        pass.detections.push_back(r.detections);
        pass.results.push_back(std::move(r));
    }
    return pass;
}

std::string Num(double v, int decimals = 2) { return std::isnan(v) ? std::string("-") : fmt::format("{:.{}f}", v, decimals); }

json JNum(double v) { return std::isnan(v) ? json(nullptr) : json(v); }

// A float threshold as the decimal it was written as (0.3, not 0.30000001).
json JFloat(float v) { return json(std::stod(fmt::format("{}", v))); }

void PrintClassTable(const Figures& f) {
    fmt::print("{:<11} {:>5} {:>6} {:>9} {:>6} {:>5} {:>6} {:>7} {:>8}\n", "class", "files", "recall", "precision",
               "detect", "TP", "FA", "FA/h", "latency");
    for (int c = 1; c <= kClassCount; ++c) {
        const ClassFigures& k = f.classes[static_cast<std::size_t>(c)];
        fmt::print("{:<11} {:>5} {:>6} {:>9} {:>6} {:>5} {:>6} {:>7} {:>8}\n", kClassNames[c], k.files,
                   Num(k.Recall()), Num(k.Precision()), k.detections, k.truePositives, k.falseAlarms,
                   Num(k.FalseAlarmsPerHour(), 1), k.latenciesS.empty() ? "-" : Num(k.MedianLatencyS()) + "s");
    }
}

json ClassJson(const ClassFigures& k) {
    return json{{"files", k.files},
                {"files_detected", k.filesDetected},
                {"recall", JNum(k.Recall())},
                {"precision", JNum(k.Precision())},
                {"detections", k.detections},
                {"true_positives", k.truePositives},
                {"false_alarms", k.falseAlarms},
                {"false_alarms_per_hour", JNum(k.FalseAlarmsPerHour())},
                {"other_audio_s", k.otherAudioS},
                {"median_latency_s", JNum(k.MedianLatencyS())}};
}

const char* RowName(int code) { return code == 0 ? "negative" : kClassNames[code]; }

// Report lines grouped by the file's label (index 0: negatives).
using LinesByLabel = std::array<std::vector<std::string>, kClassCount + 1>;

// Prints at most `limit` lines per label, then how many were left out.
void PrintLines(const char* title, const LinesByLabel& lines, int limit) {
    fmt::print("\n{}\n", title);
    bool any = false;
    for (int label = 1; label <= kClassCount + 1; ++label) {
        const int code = label % (kClassCount + 1);  // classes first, negatives last
        const std::vector<std::string>& group = lines[static_cast<std::size_t>(code)];
        for (std::size_t i = 0; i < group.size(); ++i) {
            any = true;
            if (static_cast<int>(i) < limit) fmt::print("  {}\n", group[i]);
        }
        if (static_cast<int>(group.size()) > limit)
            fmt::print("  ... {} more of {}\n", group.size() - static_cast<std::size_t>(limit), RowName(code));
    }
    if (!any) fmt::print("  none\n");
}

int Run(const Options& options) {
    Manifest manifest = ReadManifest(options.folder);
    if (!options.split.empty() && !manifest.hasSplit)
        throw std::runtime_error("--split given but the manifest has no split column");

    std::vector<Item> items;
    std::vector<std::string> errors;
    for (ManifestRow& row : manifest.rows) {
        if (!options.split.empty() && row.split != options.split) continue;
        Item item;
        item.path = options.folder + "/" + row.file;
        item.row = std::move(row);
        items.push_back(std::move(item));
    }
    // The main pass. A file that cannot be read or that the library refuses
    // is reported and left out of every figure.
    Pass primary;
    {
        std::vector<Item> accepted;
        for (Item& item : items) {
            try {
                const Audio audio = ReadAudio(item.path);
                item.truth.classCode = item.row.classCode;
                item.truth.onsetS = item.row.classCode == 0 ? 0.0 : item.row.onsetS;
                item.truth.offsetS = item.row.classCode == 0 ? audio.durationS : item.row.offsetS;
                item.truth.durationS = audio.durationS;
                RunResult r = RunLibrary(audio, options.data, options.thresholds);
                primary.cpuS += r.processCpuS;
                primary.detections.push_back(r.detections);
                primary.results.push_back(std::move(r));
                accepted.push_back(std::move(item));
            } catch (const std::exception& e) {
                errors.push_back(item.row.file + ": " + e.what());
            }
        }
        items = std::move(accepted);
    }
    if (items.empty()) throw std::runtime_error("no file to evaluate in " + options.folder);

    std::vector<FileTruth> truths;
    std::vector<double> snr;
    for (const Item& item : items) {
        truths.push_back(item.truth);
        snr.push_back(item.row.snrDb ? *item.row.snrDb : std::nan(""));
    }
    const MatchWindow window;
    const Figures figures = Score(truths, primary.detections, window);
    const RecallBySnr bySnr = ScoreRecallBySnr(truths, snr, primary.detections, window);

    // The sweep runs after the main tables are printed, so they show while
    // it works.
    std::vector<std::pair<float, Figures>> sweep;
    double sweepCpuS = 0.0;
    auto runSweep = [&] {
        if (options.sweep)
            for (const float t : kSweep) {
                Thresholds all;
                all.fill(t);
                const Pass p = RunPass(items, options.data, all);
                sweepCpuS += p.cpuS;
                sweep.emplace_back(t, Score(truths, p.detections, window));
            }
    };

    // Figures at or above each SNR: the positives of that SNR and above with
    // every file that has no SNR (the negatives).
    std::map<int, Figures> groupFigures;
    if (options.snr)
        for (const auto& [group, unused] : bySnr) {
            (void)unused;
            std::vector<FileTruth> t;
            std::vector<std::vector<Detection>> d;
            for (std::size_t i = 0; i < items.size(); ++i)
                if (std::isnan(snr[i]) || std::lround(snr[i]) >= group) {
                    t.push_back(truths[i]);
                    d.push_back(primary.detections[i]);
                }
            groupFigures.emplace(group, Score(t, d, window));
        }

    const double rtf = primary.cpuS > 0.0 ? figures.audioS / primary.cpuS : std::nan("");

    // Misses: files of a class without a true positive, with that class's
    // peak confidence over the file and what was detected instead. False
    // alarms: per file, the detections of classes other than its label.
    // Both grouped by the file's label.
    LinesByLabel missLines, alarmLines;
    json missJson = json::array(), alarmJson = json::array();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const RunResult& r = primary.results[i];
        const std::string snrText = item.row.snrDb ? fmt::format("{}dB", *item.row.snrDb) : std::string("-");
        const auto label = static_cast<std::size_t>(item.truth.classCode);
        bool hit = false;
        std::string all, others;
        json allJson = json::array(), othersJson = json::array();
        for (std::size_t k = 0; k < r.detections.size(); ++k) {
            const Detection& d = r.detections[k];
            const float conf = r.detectionConfidence[k];
            hit = hit || IsTruePositive(item.truth, d, window);
            all += fmt::format(" {}@{:.2f}s", kClassNames[d.classCode], d.timeS);
            allJson.push_back({{"class", kClassNames[d.classCode]}, {"time_s", d.timeS}});
            if (d.classCode != item.truth.classCode) {
                others += fmt::format(" {}@{:.2f}s({})", kClassNames[d.classCode], d.timeS, conf < 0 ? "-" : Num(conf));
                othersJson.push_back({{"class", kClassNames[d.classCode]}, {"time_s", d.timeS},
                                      {"confidence", conf < 0 ? json(nullptr) : json(conf)}});
            }
        }
        if (item.truth.classCode != 0 && !hit) {
            const float peak = r.peakConfidence[label];
            missLines[label].push_back(fmt::format("{} {} \"{}\" {} peak {}{}", item.row.file, item.row.label,
                                                   item.row.subLabel, snrText, peak < 0 ? std::string("-") : Num(peak),
                                                   all.empty() ? " none" : all));
            missJson.push_back({{"file", item.row.file}, {"label", item.row.label}, {"sub_label", item.row.subLabel},
                                {"peak_confidence", peak < 0 ? json(nullptr) : json(peak)}, {"detections", allJson}});
        }
        if (!others.empty()) {
            alarmLines[label].push_back(
                fmt::format("{} {} \"{}\" {}:{}", item.row.file, item.row.label, item.row.subLabel, snrText, others));
            alarmJson.push_back({{"file", item.row.file}, {"label", item.row.label}, {"sub_label", item.row.subLabel},
                                 {"detections", othersJson}});
        }
    }

    if (options.json) {
        runSweep();
        json out;
        out["folder"] = options.folder;
        out["split"] = options.split.empty() ? json(nullptr) : json(options.split);
        out["library"] = zvAudio_GetVersionInfo();
        out["data"] = options.data;
        json th;
        for (int c = 1; c <= kClassCount; ++c) th[kClassNames[c]] = JFloat(options.thresholds[static_cast<std::size_t>(c - 1)]);
        out["thresholds"] = th;
        out["match_window_s"] = {{"before_onset", window.beforeOnsetS}, {"after_offset", window.afterOffsetS}};
        out["files"] = figures.files;
        out["audio_s"] = figures.audioS;
        out["process_cpu_s"] = primary.cpuS;
        out["realtime_factor"] = JNum(rtf);
        json classes;
        for (int c = 1; c <= kClassCount; ++c) classes[kClassNames[c]] = ClassJson(figures.classes[static_cast<std::size_t>(c)]);
        out["classes"] = classes;
        out["negatives"] = {{"files", figures.negativeFiles},
                            {"audio_s", figures.negativeAudioS},
                            {"detections", figures.negativeDetections},
                            {"detections_per_hour", JNum(figures.NegativeDetectionsPerHour())}};
        json snrJson = json::object();
        for (const auto& [group, counts] : bySnr) {
            json g;
            for (int c = 1; c <= kClassCount; ++c) {
                const RecallCount& rc = counts[static_cast<std::size_t>(c)];
                if (rc.files == 0) continue;
                g[kClassNames[c]] = {{"files", rc.files}, {"detected", rc.detected},
                                     {"recall", static_cast<double>(rc.detected) / rc.files}};
            }
            if (options.snr) {
                json gc;
                const Figures& gf = groupFigures.at(group);
                for (int c = 1; c <= kClassCount; ++c) gc[kClassNames[c]] = ClassJson(gf.classes[static_cast<std::size_t>(c)]);
                g["at_or_above_with_negatives"] = gc;
            }
            snrJson[std::to_string(group)] = g;
        }
        out["recall_by_snr_db"] = snrJson;
        json confusion;
        for (int r = 0; r <= kClassCount; ++r) {
            json row;
            for (int c = 0; c <= kClassCount; ++c)
                row[kClassNames[c]] = figures.confusion[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            confusion[RowName(r)] = row;
        }
        out["confusion"] = confusion;
        json sw = json::array();
        for (const auto& [t, f] : sweep) {
            json cls;
            for (int c = 1; c <= kClassCount; ++c) cls[kClassNames[c]] = ClassJson(f.classes[static_cast<std::size_t>(c)]);
            sw.push_back({{"threshold", JFloat(t)}, {"classes", cls}});
        }
        out["sweep"] = sw;
        out["misses"] = missJson;
        out["false_alarms"] = alarmJson;
        out["errors"] = errors;
        fmt::print("{}\n", out.dump(2));
        return 0;
    }

    fmt::print("== zv_eval {}{}\n", options.folder, options.split.empty() ? "" : " (split " + options.split + ")");
    fmt::print("library: {}; data: {}\n", zvAudio_GetVersionInfo(), options.data);
    fmt::print("thresholds:");
    for (int c = 1; c <= kClassCount; ++c)
        fmt::print(" {}={}", kClassNames[c], options.thresholds[static_cast<std::size_t>(c - 1)]);
    fmt::print("\n");
    fmt::print("files: {}; audio {:.1f} s ({:.2f} h); CPU in zvAudio_Process {:.3f} s: {} x real time\n",
               figures.files, figures.audioS, figures.audioS / 3600.0, primary.cpuS, Num(rtf, 0));
    for (const std::string& e : errors) fmt::print("skipped: {}\n", e);
    fmt::print(
        "matching: a detection of class C (time = end of its 40 ms frame) is a true positive when the file is\n"
        "  labelled C and it lies within [onset - {} s, offset + {} s]; recall = C files with a true positive /\n"
        "  C files; precision = true-positive detections / all detections of C; FA = detections of C in files\n"
        "  not labelled C, per hour of those files' audio; latency = median of first true positive - onset.\n\n",
        window.beforeOnsetS, window.afterOffsetS);

    PrintClassTable(figures);
    fmt::print("negatives: {} files, {:.1f} s; detections of any class in them: {} ({} per hour)\n",
               figures.negativeFiles, figures.negativeAudioS, figures.negativeDetections,
               Num(figures.NegativeDetectionsPerHour(), 1));

    if (manifest.hasSnr && !bySnr.empty()) {
        fmt::print("\nrecall by SNR (detected/files)\n{:<8}", "SNR dB");
        for (int c = 1; c <= kClassCount; ++c) fmt::print(" {:>12}", kClassNames[c]);
        fmt::print("\n");
        for (auto it = bySnr.rbegin(); it != bySnr.rend(); ++it) {
            fmt::print("{:<8}", it->first);
            for (int c = 1; c <= kClassCount; ++c) {
                const RecallCount& rc = it->second[static_cast<std::size_t>(c)];
                fmt::print(" {:>12}", rc.files == 0 ? std::string("-")
                                                    : fmt::format("{} {}/{}", Num(static_cast<double>(rc.detected) / rc.files),
                                                                  rc.detected, rc.files));
            }
            fmt::print("\n");
        }
        for (auto it = groupFigures.rbegin(); it != groupFigures.rend(); ++it) {
            if (it->second.files == figures.files) continue;  // every file: the table above
            fmt::print("\nfiles at {} dB SNR and above, with the files without SNR (negatives)\n", it->first);
            PrintClassTable(it->second);
        }
    }

    fmt::print("\nconfusion (rows: label; columns: class of the file's first detection)\n{:<11}", "");
    for (int c = 0; c <= kClassCount; ++c) fmt::print(" {:>10}", c == 0 ? "none" : kClassNames[c]);
    fmt::print("\n");
    for (int r = 0; r <= kClassCount; ++r) {
        int total = 0;
        for (int c = 0; c <= kClassCount; ++c) total += figures.confusion[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
        if (total == 0) continue;
        fmt::print("{:<11}", RowName(r));
        for (int c = 0; c <= kClassCount; ++c)
            fmt::print(" {:>10}", figures.confusion[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
        fmt::print("\n");
    }

    PrintLines("misses (file, label, sub-label, SNR, peak confidence of the label's class, detections)",
               missLines, options.listLimit);
    PrintLines("false alarms (file, label, sub-label: class@time (confidence))", alarmLines, options.listLimit);

    std::fflush(stdout);
    runSweep();
    if (!sweep.empty()) {
        fmt::print("\nprecision/recall over thresholds (all seven at the value; recall/precision, FA per hour)\n{:<6}",
                   "thr");
        for (int c = 1; c <= kClassCount; ++c) fmt::print(" {:>16}", kClassNames[c]);
        fmt::print("\n");
        for (const auto& [t, f] : sweep) {
            fmt::print("{:<6}", t);
            for (int c = 1; c <= kClassCount; ++c) {
                const ClassFigures& k = f.classes[static_cast<std::size_t>(c)];
                fmt::print(" {:>16}", fmt::format("{}/{} {}", Num(k.Recall()), Num(k.Precision()),
                                                  Num(k.FalseAlarmsPerHour(), 0)));
            }
            fmt::print("\n");
        }
        const double sweepAudio = figures.audioS * static_cast<double>(sweep.size());
        fmt::print("sweep: {:.1f} s of audio in {:.3f} s CPU: {} x real time\n", sweepAudio, sweepCpuS,
                   sweepCpuS > 0 ? Num(sweepAudio / sweepCpuS, 0) : std::string("-"));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), ZV_EVAL_DEFAULT_DATA);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zv_eval: %s\n", e.what());
        PrintUsage(stderr, ZV_EVAL_DEFAULT_DATA);
        return 2;
    }
    if (options.help) {
        PrintUsage(stdout, ZV_EVAL_DEFAULT_DATA);
        return 0;
    }
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zv_eval: %s\n", e.what());
        return 1;
    }
}
