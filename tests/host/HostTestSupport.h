// Helpers of the host's tests: temporary folders, a plug-in folder laid out
// as installed, sound files written with libsndfile, and a run of the
// orq8-host program with its output and status.
#pragma once

#include <sndfile.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace HostTest {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "orq8-host-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    fs::path path;
};

// A plug-in folder as the host expects it: the plug-in file, its
// classification library in ZVAudioSdk/ and the memory library.
inline void MakePluginFolder(const fs::path& folder, const fs::path& plugin, const fs::path& sdk)
{
    fs::create_directories(folder / "ZVAudioSdk" / "share");
    fs::copy_file(plugin, folder / "AudioAnalytics_Zelvani.so");
    if (!sdk.empty())
        fs::copy_file(sdk, folder / "ZVAudioSdk" / "libzv_audio_analytics.so");
}

// Writes `seconds` of a 440 Hz tone at half scale.
inline bool WriteTone(const fs::path& path, int rate, int channels, double seconds,
                      int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> samples(frames * static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            samples[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * 440 * static_cast<double>(f) / rate));
    const bool written = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames)) ==
                         static_cast<sf_count_t>(frames);
    sf_close(file);
    return written;
}

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs `program` with `args`, standard input from `stdinFile` (or
// /dev/null) and `environment` ("NAME=value ...") in front.
inline ProgramRun Run(const std::string& program, const std::vector<std::string>& args, const fs::path& scratch,
                      const std::string& stdinFile = "/dev/null", const std::string& environment = "")
{
    std::string command = environment + " " + Quoted(program);
    for (const std::string& arg : args)
        command += " " + Quoted(arg);
    const fs::path out = scratch / "stdout.txt";
    const fs::path err = scratch / "stderr.txt";
    command += " <" + Quoted(stdinFile) + " >" + Quoted(out.string()) + " 2>" + Quoted(err.string());
    ProgramRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

}  // namespace HostTest
