// What the dynamic loader sees of the built libzv_memory.so.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "ElfFacts.h"

namespace {

using ::testing::ElementsAre;
using TestSupport::ElfFacts;

const ElfFacts& MemoryLibrary()
{
    static const ElfFacts facts = TestSupport::ReadElfFacts(ZV_MEMORY_FILE);
    return facts;
}

TEST(ZvMemoryElf, IsNamedLibzvMemory)
{
    EXPECT_EQ(MemoryLibrary().soname, "libzv_memory.so");
}

TEST(ZvMemoryElf, NeedsOnlyLibc)
{
    EXPECT_THAT(TestSupport::NeededWithoutSanitizers(MemoryLibrary()), ElementsAre("libc.so.6"));
}

TEST(ZvMemoryElf, FindsItsNeighboursThroughRunpathOrigin)
{
    EXPECT_TRUE(MemoryLibrary().hasRunpath);
    EXPECT_EQ(MemoryLibrary().runpath, "$ORIGIN");
    EXPECT_FALSE(MemoryLibrary().hasRpath) << MemoryLibrary().rpath;
}

TEST(ZvMemoryElf, ExportsExactlyTheThreeCalls)
{
    EXPECT_THAT(MemoryLibrary().exported,
                ElementsAre("zvMemoryAlloc", "zvMemoryFree", "zvMemoryGetUsageInfo"));
}

// The reader itself, on text of the shape readelf prints.
TEST(ElfFactsParse, KeepsOnlyDefinedDefaultVisibleFunctionsAndObjects)
{
    const char* text =
        "Dynamic section at offset 0x2e10 contains 3 entries:\n"
        "  Tag        Type                         Name/Value\n"
        " 0x0000000000000001 (NEEDED)             Shared library: [libuuid.so.1]\n"
        " 0x0000000000000001 (NEEDED)             Shared library: [libc.so.6]\n"
        " 0x000000000000000e (SONAME)             Library soname: [libx.so]\n"
        " 0x000000000000000f (RPATH)              Library rpath: [/opt/x]\n"
        "\n"
        "Symbol table '.dynsym' contains 9 entries:\n"
        "   Num:    Value          Size Type    Bind   Vis      Ndx Name\n"
        "     0: 0000000000000000     0 NOTYPE  LOCAL  DEFAULT  UND \n"
        "     1: 0000000000000000     0 FUNC    GLOBAL DEFAULT  UND free@GLIBC_2.2.5 (2)\n"
        "     2: 0000000000001120    67 FUNC    GLOBAL DEFAULT   12 entry@@V_1\n"
        "     3: 0000000000004010     8 OBJECT  WEAK   DEFAULT   23 table\n"
        "     4: 0000000000001130    10 FUNC    GLOBAL HIDDEN    12 inner\n"
        "     5: 0000000000001140    10 FUNC    LOCAL  DEFAULT   12 local\n"
        "     6: 0000000000000000     0 OBJECT  GLOBAL DEFAULT  ABS V_1\n"
        "     7: 0000000000001150     0 NOTYPE  GLOBAL DEFAULT   12 marker\n"
        "     8: 0000000000001160    10 FUNC    WEAK   PROTECTED 12 guarded\n";
    const ElfFacts facts = TestSupport::ParseReadelfOutput(text);
    EXPECT_EQ(facts.soname, "libx.so");
    EXPECT_THAT(facts.needed, ElementsAre("libuuid.so.1", "libc.so.6"));
    EXPECT_FALSE(facts.hasRunpath);
    EXPECT_TRUE(facts.hasRpath);
    EXPECT_EQ(facts.rpath, "/opt/x");
    EXPECT_THAT(facts.exported, ElementsAre("entry", "table"));
}

TEST(ElfFactsParse, DropsOnlyTheRuntimesOfTheGivenSanitizers)
{
    ElfFacts facts;
    facts.needed = {"libasan.so.8", "libubsan.so.1", "libtsan.so.2", "libm.so.6", "libc.so.6"};
    EXPECT_THAT(TestSupport::NeededWithoutSanitizers(facts, ""),
                ElementsAre("libasan.so.8", "libubsan.so.1", "libtsan.so.2", "libm.so.6", "libc.so.6"));
    EXPECT_THAT(TestSupport::NeededWithoutSanitizers(facts, "address,undefined"),
                ElementsAre("libtsan.so.2", "libc.so.6"));
    EXPECT_THAT(TestSupport::NeededWithoutSanitizers(facts, "address;undefined"),
                ElementsAre("libtsan.so.2", "libc.so.6"));
    EXPECT_THAT(TestSupport::NeededWithoutSanitizers(facts, "thread"),
                ElementsAre("libasan.so.8", "libubsan.so.1", "libc.so.6"));
}

}  // namespace
