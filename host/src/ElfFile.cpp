#include "ElfFile.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace OrqHost {
namespace {

class Reader {
public:
    Reader(const std::vector<char>& bytes, const std::string& name) : bytes(bytes), name(name) {}

    // A record at `offset`, copied out so the file's alignment never matters.
    template <class T>
    T At(std::uint64_t offset) const
    {
        if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
            Fail("is truncated");
        T value;
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
        return value;
    }

    // The NUL-terminated text at `index` of the string table `table`.
    std::string Text(const Elf64_Shdr& table, std::uint64_t index) const
    {
        if (table.sh_offset > bytes.size() || bytes.size() - table.sh_offset < table.sh_size ||
            index >= table.sh_size)
            Fail("has a string table outside the file");
        const char* begin = bytes.data() + table.sh_offset + index;
        const char* end = bytes.data() + table.sh_offset + table.sh_size;
        const char* nul = std::find(begin, end, '\0');
        if (nul == end)
            Fail("has an unterminated string");
        return std::string(begin, nul);
    }

    [[noreturn]] void Fail(const std::string& what) const { throw std::runtime_error(name + " " + what); }

private:
    const std::vector<char>& bytes;
    const std::string& name;
};

}  // namespace

ElfFacts ParseElf(const std::vector<char>& bytes, const std::string& name)
{
    const Reader in(bytes, name);
    if (bytes.size() < SELFMAG || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0)
        in.Fail("is not an ELF file");
    const auto header = in.At<Elf64_Ehdr>(0);
    if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB)
        in.Fail("is not a 64-bit little-endian ELF file");
    if (header.e_shnum == 0 || header.e_shentsize != sizeof(Elf64_Shdr))
        in.Fail("has no section table");

    std::vector<Elf64_Shdr> sections;
    for (std::uint16_t i = 0; i < header.e_shnum; ++i)
        sections.push_back(in.At<Elf64_Shdr>(header.e_shoff + std::uint64_t{i} * sizeof(Elf64_Shdr)));
    const auto linked = [&](const Elf64_Shdr& section) -> const Elf64_Shdr& {
        if (section.sh_link >= sections.size())
            in.Fail("has a section linked to no string table");
        return sections[section.sh_link];
    };

    ElfFacts facts;
    facts.type = header.e_type;
    facts.machine = header.e_machine;
    bool dynamic = false;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type == SHT_DYNAMIC) {
            dynamic = true;
            const Elf64_Shdr& strings = linked(section);
            for (std::uint64_t at = 0; at + sizeof(Elf64_Dyn) <= section.sh_size; at += sizeof(Elf64_Dyn)) {
                const auto entry = in.At<Elf64_Dyn>(section.sh_offset + at);
                if (entry.d_tag == DT_NULL)
                    break;
                if (entry.d_tag == DT_NEEDED) {
                    facts.needed.push_back(in.Text(strings, entry.d_un.d_val));
                } else if (entry.d_tag == DT_SONAME) {
                    facts.soname = in.Text(strings, entry.d_un.d_val);
                } else if (entry.d_tag == DT_RUNPATH) {
                    facts.hasRunpath = true;
                    facts.runpath = in.Text(strings, entry.d_un.d_val);
                } else if (entry.d_tag == DT_RPATH) {
                    facts.hasRpath = true;
                    facts.rpath = in.Text(strings, entry.d_un.d_val);
                }
            }
        } else if (section.sh_type == SHT_DYNSYM) {
            const Elf64_Shdr& strings = linked(section);
            for (std::uint64_t at = 0; at + sizeof(Elf64_Sym) <= section.sh_size; at += sizeof(Elf64_Sym)) {
                const auto symbol = in.At<Elf64_Sym>(section.sh_offset + at);
                const unsigned type = ELF64_ST_TYPE(symbol.st_info);
                const unsigned bind = ELF64_ST_BIND(symbol.st_info);
                // SHN_ABS: the names of version nodes, not code or data.
                if ((type != STT_FUNC && type != STT_OBJECT) || (bind != STB_GLOBAL && bind != STB_WEAK) ||
                    ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT || symbol.st_shndx == SHN_UNDEF ||
                    symbol.st_shndx == SHN_ABS)
                    continue;
                facts.exported.push_back(in.Text(strings, symbol.st_name));
            }
        }
    }
    if (!dynamic)
        in.Fail("has no dynamic section (not a shared library)");
    std::sort(facts.exported.begin(), facts.exported.end());
    facts.exported.erase(std::unique(facts.exported.begin(), facts.exported.end()), facts.exported.end());
    return facts;
}

ElfFacts ReadElfFile(const std::string& path, const std::string& name)
{
    const std::string shown = name.empty() ? path : name;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error(shown + " cannot be opened");
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return ParseElf(bytes, shown);
}

}  // namespace OrqHost
