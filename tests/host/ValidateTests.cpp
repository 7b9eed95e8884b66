// orq8-host validate over plug-in folders: the installed layout passes every
// phase; a folder without the classification library, a plug-in file that is
// not a plug-in, a library that never makes an engine and a plug-in that
// crashes each fail on their own line, and the table is always complete.
#include <elf.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ElfFacts.h"
#include "ElfFile.h"
#include "HostTestSupport.h"

namespace {

using HostTest::fs::path;
using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;

const char* const kPhases[] = {"elf",   "load",    "entry points", "faces", "settings",
                               "formats", "stress", "concurrency"};

class Validate : public ::testing::Test {
protected:
    // A plug-in folder as installed, with `sdk` as its classification library.
    path Folder(const std::string& name, const path& sdk)
    {
        const path folder = dir.path / name;
        HostTest::MakePluginFolder(folder, ZV_PLUGIN_FILE, sdk);
        HostTest::fs::copy(ZV_SDK_DATA_DIR, folder / "ZVAudioSdk" / "share",
                           HostTest::fs::copy_options::recursive);
        HostTest::fs::copy_file(ZV_MEMORY_FILE, folder / "libzv_memory.so");
        return folder;
    }

    HostTest::ProgramRun Run(const path& folder, const std::string& environment = "")
    {
        return HostTest::Run(ZV_HOST_PROGRAM, {"validate", "--seconds", "1", folder.string()}, dir.path, "/dev/null",
                             environment);
    }

    // The table's line of `phase`; every phase has one.
    static std::string Row(const HostTest::ProgramRun& run, const std::string& phase)
    {
        for (const std::string& line : HostTest::Lines(run.out))
            if (line.compare(0, phase.size() + 1, phase + " ") == 0)
                return line;
        ADD_FAILURE() << "no line for " << phase << " in:\n" << run.out << run.err;
        return "";
    }

    // The phases after load are skipped once it fails.
    static void ExpectSkippedAfterLoad(const HostTest::ProgramRun& run)
    {
        for (const char* phase : kPhases) {
            if (std::string(phase) != "elf" && std::string(phase) != "load") {
                EXPECT_THAT(Row(run, phase), HasSubstr("SKIP   needs a passing load"));
            }
        }
    }

    HostTest::TempDir dir;
};

TEST_F(Validate, AnInstalledFolderPassesEveryPhase)
{
    const auto run = Run(Folder("plugins", ZV_REAL_SDK_FILE));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    for (const char* phase : kPhases)
        EXPECT_THAT(Row(run, phase), HasSubstr(" PASS "));
    EXPECT_THAT(Row(run, "elf"), HasSubstr("run path $ORIGIN/ZVAudioSdk:$ORIGIN"));
    EXPECT_THAT(run.out, EndsWith("validate: all 8 phases passed for " + (dir.path / "plugins").string() + "\n"));
}

TEST_F(Validate, AFolderWithoutTheClassificationLibraryFailsToLoad)
{
    const path folder = Folder("bare", "");
    const auto run = Run(folder);
    EXPECT_EQ(run.status, 12);
    EXPECT_THAT(Row(run, "elf"), AllOf(HasSubstr(" FAIL "), HasSubstr("AudioAnalytics_Zelvani.so needs "
                                                                      "libzv_audio_analytics.so, found neither")));
    EXPECT_THAT(Row(run, "load"),
                AllOf(HasSubstr(" FAIL   dlopen: "), HasSubstr("libzv_audio_analytics.so: cannot open shared object")));
    ExpectSkippedAfterLoad(run);
    EXPECT_THAT(run.out, EndsWith("validate: 2 failed, 6 skipped of 8 phases for " + folder.string() + "\n"));
}

TEST_F(Validate, APluginFileThatIsNotAPluginFailsTheElfAndLoadPhases)
{
    const path text = Folder("text", ZV_REAL_SDK_FILE);
    std::ofstream(text / "AudioAnalytics_Zelvani.so", std::ios::trunc) << "not a plug-in\n";
    const auto textRun = Run(text);
    EXPECT_EQ(textRun.status, 12);
    EXPECT_THAT(Row(textRun, "elf"), HasSubstr(" FAIL   AudioAnalytics_Zelvani.so is not an ELF file"));
    EXPECT_THAT(Row(textRun, "load"), HasSubstr(" FAIL   dlopen: "));
    ExpectSkippedAfterLoad(textRun);

    const path other = Folder("other", ZV_REAL_SDK_FILE);
    HostTest::fs::copy_file(ZV_MEMORY_FILE, other / "AudioAnalytics_Zelvani.so",
                            HostTest::fs::copy_options::overwrite_existing);
    const auto otherRun = Run(other);
    EXPECT_EQ(otherRun.status, 12);
    EXPECT_THAT(Row(otherRun, "elf"), AllOf(HasSubstr(" FAIL   AudioAnalytics_Zelvani.so exports zvMemory"),
                                            HasSubstr("expected exactly FinalizeModule, GetModule, InitializeModule")));
    EXPECT_THAT(Row(otherRun, "load"), HasSubstr(" FAIL   AudioAnalytics_Zelvani.so has no entry point InitializeModule"));
}

TEST_F(Validate, ALibraryThatNeverMakesAnEngineFailsTheLoadPhase)
{
    const auto run = Run(Folder("failing", ZV_FAILING_SDK_FILE));
    EXPECT_EQ(run.status, 12);
    EXPECT_THAT(Row(run, "elf"), HasSubstr(" PASS "));
    EXPECT_THAT(Row(run, "load"), HasSubstr(" FAIL   the first samples (mono 16000 Hz 16-bit) were refused (status 4): "
                                            "zvAudio: engine has not been created"));
    ExpectSkippedAfterLoad(run);
}

TEST_F(Validate, AChildThatCrashesOrExitsFailsItsPhaseAndTheTableStillComes)
{
    struct Case {
        const char* mode;
        const char* loadRow;
    };
    for (const Case& c : {Case{"crash", " FAIL   crashed: signal 6 (Aborted) during: InitializeModule"},
                          Case{"exit3", " FAIL   the process exited with status 3 during: InitializeModule"}}) {
        const path folder = dir.path / c.mode;
        HostTest::MakePluginFolder(folder, ZV_FAKE_PLUGIN_FILE, "");
        const auto run = Run(folder, std::string("ORQ_FAKE_PLUGIN=") + c.mode);
        EXPECT_EQ(run.status, 12) << c.mode;
        EXPECT_THAT(Row(run, "load"), HasSubstr(c.loadRow));
        ExpectSkippedAfterLoad(run);
    }
}

TEST_F(Validate, ArgumentsAndTheDefaultFolder)
{
    EXPECT_EQ(HostTest::Run(ZV_HOST_PROGRAM, {"validate", "a", "b"}, dir.path).status, 2);
    EXPECT_EQ(HostTest::Run(ZV_HOST_PROGRAM, {"validate", "--seconds", "0"}, dir.path).status, 2);
    const auto help = HostTest::Run(ZV_HOST_PROGRAM, {"validate", "--help"}, dir.path);
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("default: the installed one, ../plugins beside"));
    // Without a folder: the installed one beside the program.
    const auto run = HostTest::Run(ZV_HOST_PROGRAM, {"validate"}, dir.path);
    EXPECT_EQ(run.status, 12);
    EXPECT_THAT(run.out, EndsWith(" for " + (path(ZV_HOST_PROGRAM).parent_path().parent_path() / "plugins").string() +
                                  "\n"));
}

TEST(ElfFile, ReadsWhatTheLoaderSees)
{
    for (const char* file : {ZV_PLUGIN_FILE, ZV_REAL_SDK_FILE}) {
        const OrqHost::ElfFacts facts = OrqHost::ReadElfFile(file);
        const TestSupport::ElfFacts expected = TestSupport::ReadElfFacts(file);
        EXPECT_EQ(facts.soname, expected.soname) << file;
        EXPECT_EQ(facts.needed, expected.needed) << file;
        EXPECT_EQ(facts.runpath, expected.runpath) << file;
        EXPECT_EQ(facts.hasRpath, expected.hasRpath) << file;
        EXPECT_EQ(facts.exported, expected.exported) << file;
    }
}

// The plug-in file spoilt one way at a time: each is refused with its reason,
// never read out of bounds.
TEST(ElfFile, RefusesDamagedFilesWithTheirReason)
{
    std::ifstream in(ZV_PLUGIN_FILE, std::ios::binary);
    const std::vector<char> good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(good.size(), sizeof(Elf64_Ehdr));
    const auto refusal = [](const std::vector<char>& bytes) {
        try {
            OrqHost::ParseElf(bytes, "f");
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refusal(std::vector<char>(good.begin(), good.begin() + 200)), "f is truncated");
    std::vector<char> bytes = good;
    bytes[EI_CLASS] = ELFCLASS32;
    EXPECT_EQ(refusal(bytes), "f is not a 64-bit little-endian ELF file");
    bytes = good;
    bytes[offsetof(Elf64_Ehdr, e_shnum)] = 0;
    bytes[offsetof(Elf64_Ehdr, e_shnum) + 1] = 0;
    EXPECT_EQ(refusal(bytes), "f has no section table");
    // Every string offset past the end of its table.
    bytes = good;
    Elf64_Ehdr header;
    std::memcpy(&header, good.data(), sizeof header);
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        char* at = bytes.data() + header.e_shoff + i * sizeof(Elf64_Shdr);
        std::memcpy(&section, at, sizeof section);
        if (section.sh_type == SHT_STRTAB)
            section.sh_size = 0;
        std::memcpy(at, &section, sizeof section);
    }
    EXPECT_EQ(refusal(bytes), "f has a string table outside the file");
}

}  // namespace
