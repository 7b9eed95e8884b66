// Fuzzes the reference host's command line and its raw-input reader.
//
// Input, first byte even: the rest is the argument list, split at NUL bytes,
// given to ParseArguments. Checks: it returns options or throws HostError
// with the usage status and a message; returned options that read raw input
// describe a format the raw reader accepts (a rate, 1 to 64 channels, 8, 16,
// 24 or 32 bits), name an input unless --help or --version was asked, and
// read standard input at most once. Every argument also goes to
// ParseIsoTime, which accepts only texts that name a real calendar day.
//
// First byte odd: a raw PCM format (width, channels, rate), whether to mix
// to mono and/or resample, the sizes of the reads, then the file's bytes.
// The bytes are read back with OpenRawPcm from an in-memory file. Checks:
// each read delivers whole frames, at most as many as asked; the raw reader
// delivers the file's bytes in order with only a trailing partial frame
// dropped, then 0; through the converter, reads deliver 16-bit frames of the
// converted format and end; DecodePcm turns every sample into one value in
// [-1, 1).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AudioInput.h"
#include "ExitStatus.h"
#include "FuzzInput.h"
#include "Options.h"

namespace {

// An accepted time names a real calendar day (the text starts with
// yyyy-mm-dd whenever it is accepted).
void CheckIsoTime(const std::string& text)
{
    if (!OrqHost::ParseIsoTime(text))
        return;
    FUZZ_CHECK(text.size() >= 10);
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    FUZZ_CHECK(month >= 1 && month <= 12);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    FUZZ_CHECK(day >= 1 && day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0));
}

void FuzzArguments(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back().push_back(static_cast<char>(data[i]));
    }
    for (const std::string& arg : args)
        CheckIsoTime(arg);
    OrqHost::Options options;
    try {
        options = OrqHost::ParseArguments(args);
    } catch (const OrqHost::HostError& error) {
        FUZZ_CHECK(error.status() == OrqHost::ExitUsage);
        FUZZ_CHECK(std::strlen(error.what()) > 0);
        return;
    }
    if (options.help || options.version)
        return;
    FUZZ_CHECK(!options.inputs.empty());
    std::size_t stdinInputs = 0;
    for (const std::string& input : options.inputs)
        stdinInputs += input == "-" ? 1 : 0;
    FUZZ_CHECK(stdinInputs <= 1);
    FUZZ_CHECK(stdinInputs == 0 || options.raw);
    if (options.raw) {
        const OrqHost::PcmFormat& f = options.rawFormat;
        FUZZ_CHECK(f.sampleRate > 0);
        FUZZ_CHECK(f.numChannels >= 1 && f.numChannels <= 64);
        FUZZ_CHECK(f.bitsPerSample == 8 || f.bitsPerSample == 16 || f.bitsPerSample == 24 || f.bitsPerSample == 32);
    }
}

// An in-memory file the reader opens by path.
class MemoryFile {
public:
    MemoryFile() : fd(memfd_create("zv-fuzz-raw", 0)) { FUZZ_CHECK(fd >= 0); }
    ~MemoryFile() { close(fd); }
    void Fill(const std::uint8_t* data, std::size_t size)
    {
        FUZZ_CHECK(ftruncate(fd, 0) == 0);
        FUZZ_CHECK(size == 0 || pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd); }

private:
    int fd;
};

constexpr std::uint32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000};

void FuzzRawInput(Fuzz::Input& in)
{
    OrqHost::PcmFormat format;
    format.bitsPerSample = 8 * (1 + in.Below(4));
    const bool convert = in.Bool();
    // Conversion keeps the channels few, so one read stays small.
    format.numChannels = 1 + (convert ? in.Below(8) : in.Below(64));
    format.sampleRate = kRates[in.Below(8)];
    const bool mono = convert && in.Bool();
    const std::uint32_t rate = convert && in.Bool() ? kRates[in.Below(8)] : 0;
    std::vector<std::size_t> reads(1 + in.Below(8));
    for (std::size_t& frames : reads)
        frames = 1 + in.Below(4096);
    std::size_t size = 0;
    const std::uint8_t* bytes = in.Take(in.Remaining(), size);

    static MemoryFile file;
    file.Fill(bytes, size);
    std::unique_ptr<OrqHost::AudioSource> source = OrqHost::OpenRawPcm(file.Path(), format);
    FUZZ_CHECK(source->TotalFrames() == 0);
    const std::size_t frameBytes = format.BytesPerFrame();
    std::vector<std::uint8_t> out;

    if (!convert) {
        std::size_t at = 0;
        for (std::size_t i = 0;; ++i) {
            const std::size_t asked = reads[i % reads.size()];
            const std::size_t got = source->Read(out, asked);
            FUZZ_CHECK(got <= asked);
            FUZZ_CHECK(out.size() == got * frameBytes);
            FUZZ_CHECK(at + out.size() <= size);
            FUZZ_CHECK(out.empty() || std::memcmp(out.data(), bytes + at, out.size()) == 0);
            at += out.size();
            if (got == 0)
                break;
        }
        FUZZ_CHECK(at == size - size % frameBytes);
        std::vector<float> decoded;
        OrqHost::DecodePcm(bytes, at, format, decoded);
        FUZZ_CHECK(decoded.size() == at / (format.bitsPerSample / 8));
        for (float v : decoded)
            FUZZ_CHECK(v >= -1.0f && v < 1.0f);
        return;
    }

    source = OrqHost::Converted(std::move(source), mono, rate);
    const OrqHost::PcmFormat to = source->Format();
    const bool changes = (mono && format.numChannels != 1) || (rate != 0 && rate != format.sampleRate);
    FUZZ_CHECK(to.numChannels == (mono ? 1 : format.numChannels));
    FUZZ_CHECK(to.sampleRate == (rate != 0 ? rate : format.sampleRate));
    FUZZ_CHECK(to.bitsPerSample == (changes ? 16 : format.bitsPerSample));
    // The converter may add a delay's worth of frames; the output stays
    // within the input's length at the new rate plus that margin.
    const double ratio = static_cast<double>(to.sampleRate) / format.sampleRate;
    const std::size_t limit = static_cast<std::size_t>((size / frameBytes + 8192) * ratio) + 8192;
    std::size_t total = 0;
    for (std::size_t i = 0;; ++i) {
        const std::size_t asked = reads[i % reads.size()];
        const std::size_t got = source->Read(out, asked);
        FUZZ_CHECK(got <= asked);
        FUZZ_CHECK(out.size() == got * to.BytesPerFrame());
        total += got;
        FUZZ_CHECK(total <= limit);
        if (got == 0)
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] % 2 == 0) {
        FuzzArguments(data + 1, size - 1);
        return 0;
    }
    Fuzz::Input in(data + 1, size - 1);
    FuzzRawInput(in);
    return 0;
}
