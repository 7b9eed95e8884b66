// The labelled folder zv_eval reads: manifest.csv beside the WAV files it
// names. Columns are found by name in the header row, so folders written by
// the generator and folders of recordings (with other extra columns) read
// alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::eval {

// Splits one CSV record into fields: comma-separated, a field may be quoted
// with double quotes (commas inside, "" for a quote). A trailing CR is
// dropped. Records never span lines in the files we read.
std::vector<std::string> SplitCsvLine(std::string_view line);

// One row of the manifest.
struct ManifestRow {
    std::string file;       // WAV file name, relative to the folder
    std::string label;      // a class name or "negative"
    int classCode = 0;      // 1..7 for a class, 0 for a negative
    std::string subLabel;   // free text, may be empty
    double onsetS = 0.0;    // event_start_s
    double offsetS = 0.0;   // event_end_s
    std::optional<double> snrDb;  // empty for negatives and for recordings
    std::string split;      // "tune", "holdout" or empty
};

struct Manifest {
    std::vector<ManifestRow> rows;
    bool hasSnr = false;    // the header names snr_db and some row fills it
    bool hasSplit = false;  // the header names split
};

// Parses a manifest text. Required columns: file, label, event_start_s,
// event_end_s; optional: sub_label, snr_db, split. Throws
// std::runtime_error naming the line on a missing column, an unknown label
// or a number that does not parse.
Manifest ParseManifest(std::string_view text);

// Reads <folder>/manifest.csv; throws std::runtime_error when unreadable.
Manifest ReadManifest(const std::string& folder);

}  // namespace zv::eval
