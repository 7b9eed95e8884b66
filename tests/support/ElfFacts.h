// What the dynamic loader sees of a built shared library: its SONAME, its
// DT_NEEDED entries, its run paths and the symbols it exports. Read with
// binutils' readelf, so the tests check the file that ships, not the build
// settings that were meant to produce it.
//
// Test-side only; the functions throw std::runtime_error when readelf cannot
// be run or does not understand the file, so a broken check fails loudly.
//
// Sanitizer builds link their runtime into every shared library (DT_NEEDED
// libasan/libubsan/libtsan). The build passes its sanitizer list as
// ZV_BUILD_SANITIZE ("" for plain builds, else e.g. "address,undefined"), and
// NeededWithoutSanitizers() drops exactly those runtimes, so an ELF test
// states the plain-build facts and holds in every build configuration.
#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef ZV_BUILD_SANITIZE
#error "ZV_BUILD_SANITIZE must be defined: link the target with zv_test_support"
#endif
#ifndef ZV_READELF
#define ZV_READELF "readelf"
#endif

namespace TestSupport {

struct ElfFacts {
    std::string soname;                    // "" when there is none
    std::vector<std::string> needed;       // DT_NEEDED, in file order
    bool hasRunpath = false;
    std::string runpath;                   // DT_RUNPATH
    bool hasRpath = false;
    std::string rpath;                     // DT_RPATH
    // Defined dynamic FUNC/OBJECT symbols with GLOBAL or WEAK binding and
    // DEFAULT visibility, without version suffix and without version-node
    // names; sorted, unique.
    std::vector<std::string> exported;
};

// The sanitizers of this build as the build passed them ("" for none).
inline std::string BuildSanitizers() { return ZV_BUILD_SANITIZE; }

namespace ElfDetail {

inline std::string ShellQuote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

inline std::string RunReadelf(const std::string& path)
{
    // The C locale keeps readelf's labels ("Library soname") untranslated.
    const std::string command =
        "LC_ALL=C " + ShellQuote(ZV_READELF) + " -W -d --dyn-syms " + ShellQuote(path) + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot run: " + command);
    std::string output;
    std::array<char, 4096> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), got);
    const int status = ::pclose(pipe);
    if (status != 0)
        throw std::runtime_error("readelf failed on " + path + ":\n" + output);
    return output;
}

// The text between the first '[' and the last ']' of a dynamic-section line.
inline std::string Bracketed(const std::string& line)
{
    const auto open = line.find('[');
    const auto close = line.rfind(']');
    if (open == std::string::npos || close == std::string::npos || close < open)
        throw std::runtime_error("unexpected readelf line: " + line);
    return line.substr(open + 1, close - open - 1);
}

inline bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace ElfDetail

// Parses readelf's "-W -d --dyn-syms" output. Separate from ReadElfFacts so
// the parser can be exercised on known text.
inline ElfFacts ParseReadelfOutput(const std::string& output)
{
    ElfFacts facts;
    std::istringstream lines(output);
    std::string line;
    bool inDynsym = false;
    while (std::getline(lines, line)) {
        if (line.find("Symbol table '") != std::string::npos) {
            inDynsym = line.find("'.dynsym'") != std::string::npos;
            continue;
        }
        if (line.find("(SONAME)") != std::string::npos) {
            facts.soname = ElfDetail::Bracketed(line);
        } else if (line.find("(NEEDED)") != std::string::npos) {
            facts.needed.push_back(ElfDetail::Bracketed(line));
        } else if (line.find("(RUNPATH)") != std::string::npos) {
            facts.hasRunpath = true;
            facts.runpath = ElfDetail::Bracketed(line);
        } else if (line.find("(RPATH)") != std::string::npos) {
            facts.hasRpath = true;
            facts.rpath = ElfDetail::Bracketed(line);
        } else if (inDynsym) {
            // "  Num:    Value          Size Type    Bind   Vis      Ndx Name"
            std::istringstream fields(line);
            std::string num, value, size, type, bind, vis, ndx, name;
            if (!(fields >> num >> value >> size >> type >> bind >> vis >> ndx >> name))
                continue;  // the header, or the unnamed null symbol
            if (num.empty() || num.back() != ':')
                continue;
            if (type != "FUNC" && type != "OBJECT")
                continue;
            if (bind != "GLOBAL" && bind != "WEAK")
                continue;
            // UND: imported, not defined here. ABS: the names of version
            // nodes, which readelf lists as absolute objects.
            if (vis != "DEFAULT" || ndx == "UND" || ndx == "ABS")
                continue;
            name = name.substr(0, name.find('@'));
            facts.exported.push_back(name);
        }
    }
    std::sort(facts.exported.begin(), facts.exported.end());
    facts.exported.erase(std::unique(facts.exported.begin(), facts.exported.end()), facts.exported.end());
    return facts;
}

// The facts of the ELF file at `path`.
inline ElfFacts ReadElfFacts(const std::string& path)
{
    return ParseReadelfOutput(ElfDetail::RunReadelf(path));
}

// Whether `needed` is a library that the sanitizers in `sanitizers` (comma-
// or semicolon-separated: "address", "undefined", "thread") add to a linked
// shared object: their runtimes, and libm.so.6, which the sanitizer link of
// C++ objects pulls in even where the plain link leaves it out.
inline bool IsSanitizerRuntime(const std::string& needed, const std::string& sanitizers = BuildSanitizers())
{
    const auto uses = [&](const char* sanitizer) {
        std::string list = sanitizers;
        std::replace(list.begin(), list.end(), ';', ',');
        std::istringstream items(list);
        std::string item;
        while (std::getline(items, item, ','))
            if (item == sanitizer)
                return true;
        return false;
    };
    using ElfDetail::StartsWith;
    const bool anySanitizer = uses("address") || uses("undefined") || uses("thread");
    return (anySanitizer && needed == "libm.so.6") || (uses("address") && StartsWith(needed, "libasan.so")) ||
           (uses("undefined") && StartsWith(needed, "libubsan.so")) ||
           (uses("thread") && StartsWith(needed, "libtsan.so"));
}

// The DT_NEEDED list of `facts` without what this build's sanitizers add.
inline std::vector<std::string> NeededWithoutSanitizers(const ElfFacts& facts,
                                                        const std::string& sanitizers = BuildSanitizers())
{
    std::vector<std::string> out;
    for (const std::string& entry : facts.needed)
        if (!IsSanitizerRuntime(entry, sanitizers))
            out.push_back(entry);
    return out;
}

}  // namespace TestSupport
