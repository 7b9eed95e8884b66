#include "Manifest.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "Classes.h"

namespace zv::eval {

std::vector<std::string> SplitCsvLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

namespace {

double ParseNumber(const std::string& text, const char* column, std::size_t lineNo) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || errno != 0)
        throw std::runtime_error("manifest line " + std::to_string(lineNo) + ": " + column + " '" + text +
                                 "' is not a number");
    return value;
}

}  // namespace

Manifest ParseManifest(std::string_view text) {
    Manifest manifest;
    std::size_t lineNo = 0;
    int colFile = -1, colLabel = -1, colSub = -1, colStart = -1, colEnd = -1, colSnr = -1, colSplit = -1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (line.empty() || line == "\r") continue;
        const std::vector<std::string> fields = SplitCsvLine(line);
        if (colFile < 0) {
            for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
                const std::string& name = fields[static_cast<std::size_t>(i)];
                if (name == "file") colFile = i;
                else if (name == "label") colLabel = i;
                else if (name == "sub_label") colSub = i;
                else if (name == "event_start_s") colStart = i;
                else if (name == "event_end_s") colEnd = i;
                else if (name == "snr_db") colSnr = i;
                else if (name == "split") colSplit = i;
            }
            if (colFile < 0 || colLabel < 0 || colStart < 0 || colEnd < 0)
                throw std::runtime_error("manifest header lacks file, label, event_start_s or event_end_s");
            manifest.hasSplit = colSplit >= 0;
            continue;
        }
        auto field = [&](int col) -> std::string {
            return col >= 0 && static_cast<std::size_t>(col) < fields.size() ? fields[static_cast<std::size_t>(col)]
                                                                             : std::string();
        };
        ManifestRow row;
        row.file = field(colFile);
        row.label = field(colLabel);
        row.classCode = ClassCodeOf(row.label);
        if (row.file.empty() || row.classCode < 0)
            throw std::runtime_error("manifest line " + std::to_string(lineNo) + ": no file or unknown label '" +
                                     row.label + "'");
        row.subLabel = field(colSub);
        row.onsetS = ParseNumber(field(colStart), "event_start_s", lineNo);
        row.offsetS = ParseNumber(field(colEnd), "event_end_s", lineNo);
        const std::string snr = field(colSnr);
        if (!snr.empty()) {
            row.snrDb = ParseNumber(snr, "snr_db", lineNo);
            manifest.hasSnr = true;
        }
        row.split = field(colSplit);
        manifest.rows.push_back(std::move(row));
    }
    if (colFile < 0) throw std::runtime_error("manifest is empty");
    return manifest;
}

Manifest ReadManifest(const std::string& folder) {
    const std::string path = folder + "/manifest.csv";
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return ParseManifest(text.str());
}

}  // namespace zv::eval
