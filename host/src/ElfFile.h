// What the dynamic loader sees of a shared library, read from the file with
// <elf.h>: its machine, SONAME, DT_NEEDED entries, run paths and the symbols
// it exports. No external tool is run, so the check works on a target
// machine without binutils.
//
// Only 64-bit little-endian files are read (the plug-in's platform); every
// offset is checked against the file's size, so a truncated or hostile file
// is refused with a message, never read out of bounds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace OrqHost {

struct ElfFacts {
    std::uint16_t type = 0;                // ET_DYN for a shared library
    std::uint16_t machine = 0;             // EM_X86_64 on the plug-in's platform
    std::string soname;                    // "" when there is none
    std::vector<std::string> needed;       // DT_NEEDED, in file order
    bool hasRunpath = false;
    std::string runpath;                   // DT_RUNPATH
    bool hasRpath = false;
    std::string rpath;                     // DT_RPATH
    // Defined dynamic FUNC/OBJECT symbols with GLOBAL or WEAK binding and
    // DEFAULT visibility, without version-node names; sorted, unique.
    std::vector<std::string> exported;
};

// Reads `path`. Throws std::runtime_error with one line ("<name> is not an
// ELF file", "<name> is truncated") when the file cannot be read as a 64-bit
// little-endian ELF file with a dynamic section; `name` names the file in
// the messages (the path when empty).
ElfFacts ReadElfFile(const std::string& path, const std::string& name = "");

// The same from bytes already in memory; `name` only names the file in
// messages.
ElfFacts ParseElf(const std::vector<char>& bytes, const std::string& name);

}  // namespace OrqHost
