// Reads a fuzzer's input as a stream of choices. Past the end every read
// yields zero (and empty texts), so any input decodes into a finite run and
// the same input always decodes the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    bool Empty() const { return offset >= size; }
    std::size_t Remaining() const { return size - offset; }

    std::uint8_t Byte() { return offset < size ? data[offset++] : 0; }
    bool Bool() { return (Byte() & 1) != 0; }
    // Little-endian; each part is read in its own statement, so the order
    // of reads is fixed.
    std::uint16_t U16()
    {
        const std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | Byte() << 8);
    }
    std::uint32_t U32()
    {
        const std::uint32_t low = U16();
        return low | static_cast<std::uint32_t>(U16()) << 16;
    }
    std::uint64_t U64()
    {
        const std::uint64_t low = U32();
        return low | static_cast<std::uint64_t>(U32()) << 32;
    }
    // A value in [0, count); 0 when count is 0.
    std::uint32_t Below(std::uint32_t count) { return count == 0 ? 0 : (count <= 256 ? Byte() : U32()) % count; }
    // A text of up to `maxLength` bytes, any byte but NUL.
    std::string Text(std::size_t maxLength)
    {
        const std::size_t length = Below(static_cast<std::uint32_t>(maxLength + 1));
        std::string text;
        for (std::size_t i = 0; i < length && !Empty(); ++i) {
            const char c = static_cast<char>(Byte());
            text.push_back(c == '\0' ? '?' : c);
        }
        return text;
    }
    // Up to `count` raw bytes, fewer at the end of the input.
    const std::uint8_t* Take(std::size_t count, std::size_t& taken)
    {
        taken = count < Remaining() ? count : Remaining();
        const std::uint8_t* at = data + offset;
        offset += taken;
        return at;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset = 0;
};

// An invariant the run broke: the message names it, then the process aborts
// so that libFuzzer records the input.
[[noreturn]] inline void Violated(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "\n*** fuzz invariant violated at %s:%d: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace Fuzz

#define FUZZ_CHECK(condition)                                   \
    do {                                                        \
        if (!(condition))                                       \
            ::Fuzz::Violated(#condition, __FILE__, __LINE__);   \
    } while (false)
