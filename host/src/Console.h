// Whole-line writes to the program's output streams.
//
// Log lines, event lines, the summary and the progress bar come from several
// threads at once; each goes out as one write under one lock, so lines never
// interleave mid-line. The progress bar, when shown, owns the last line of
// the terminal: every other stderr line first erases it, and the bar is drawn
// again at its next tick.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace OrqHost {

class Console {
public:
    // `out` receives event lines, `err` everything else; neither is owned.
    Console(std::FILE* out, std::FILE* err);

    // Called from any thread. `line` carries no newline; one is added.
    // Returns false when the stream reported an error.
    bool WriteOut(const std::string& line);
    bool WriteErr(const std::string& line);

    // The progress bar's own drawing (any thread): replaces the bar line with
    // `bar` (no newline), or erases it when `bar` is empty.
    void DrawBar(const std::string& bar);

    std::FILE* OutStream() const { return out; }
    std::FILE* ErrStream() const { return err; }

private:
    void EraseBarLocked();

    std::FILE* out;
    std::FILE* err;
    std::mutex mutex;
    bool barShown = false;
    // Both streams show on one terminal: event lines also erase the bar.
    bool sharedTerminal = false;
};

}  // namespace OrqHost
