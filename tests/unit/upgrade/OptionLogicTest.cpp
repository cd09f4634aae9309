// The option logic over files in memory: selection, version step, merge, the
// File mode, and files that are short, unreadable or change during a run.
#include "tests/support/HexText.h"
#include "tests/support/MemoryOptionFiles.h"

#include "tools/enhtool/EnhFile.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/OptionLogic.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

constexpr const char* kModel = "QX-5100";
constexpr const char* kCode = "00000102";

using Bytes = std::vector<unsigned char>;
using Record = std::array<unsigned char, OptionRecord::kSize>;

// A record of kModel with option code kCode and option bytes of type 3.
Record MakeRecord(const char* model = kModel, unsigned char firstOptionByte = 0x3F)
{
    Record r;
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<unsigned char>(0xA0 + i); // recognisable carried bytes
    std::memset(&r[OptionRecord::kModelName], 0, kModelNameSize);
    std::memcpy(&r[OptionRecord::kModelName], model, std::strlen(model));
    const unsigned char code[4] = {0x00, 0x00, 0x01, 0x02};
    std::memcpy(&r[OptionRecord::kOptionCode], code, 4);
    r[OptionRecord::kOptionBytes] = firstOptionByte;
    for (std::size_t i = 1; i < kOptionBytesSize; ++i)
        r[OptionRecord::kOptionBytes + i] = 0xFF;
    return r;
}

Bytes File(std::vector<EnhEntry> entries, const char* minVersion = "V1.00", unsigned char rule = '1',
           const char* model = kModel)
{
    EnhDescription d;
    d.model = model;
    d.minVersion = minVersion;
    d.rule = rule;
    d.entries = std::move(entries);
    return BuildEnhFile(d);
}

EnhEntry Entry(unsigned type, const char* mask, const char* code = kCode)
{
    return MakeEnhEntry(code, type, mask);
}

Bytes OptionBytes(const Record& r)
{
    return Bytes(r.begin() + OptionRecord::kOptionBytes, r.end());
}

std::vector<CString> Paths(std::initializer_list<const char*> names)
{
    return std::vector<CString>(names.begin(), names.end());
}

// Only the option bytes may change, and only on 0 and 8.
void ExpectOnlyOptionBytesChanged(const Record& before, const Record& after)
{
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + OptionRecord::kOptionBytes, after.begin()));
}

} // namespace

TEST(FolderOptions, ResultsAndMergedBytes)
{
    struct Case {
        const char* name;
        std::vector<Bytes> files; // a.ENH, b.ENH, ... in list order
        const char* version;
        int expected;
        const char* optionBytes; // after the run
    };
    const Case cases[] = {
        {"one file merged", {File({Entry(3, "0FF0FFFFFFFFFFFF")})}, "V1.00", 0, "3FF0FFFFFFFFFFFF"},
        {"two files both ANDed in list order",
         {File({Entry(3, "0FFFFFFF00FFFFFF")}), File({Entry(3, "0FFFFFFFFF0FFFFF")})},
         "V1.00",
         0,
         "3FFFFFFF000FFFFF"},
        {"other codes are passed over",
         {File({Entry(3, "0000000000000000", "00000999"), Entry(3, "0FFFFFFFFFFFFF00")})},
         "V1.00",
         0,
         "3FFFFFFFFFFFFF00"},
        {"a later entry of the right type is merged",
         {File({Entry(5, "0000000000000000"), Entry(3, "0FFFFFFFFFFFFF0F")})},
         "V1.00",
         0,
         "3FFFFFFFFFFFFF0F"},
        {"only the first fitting entry of a file",
         {File({Entry(3, "0FFFFFFFFFFFFFF0"), Entry(3, "0000000000000000")})},
         "V1.00",
         0,
         "3FFFFFFFFFFFFFF0"},
        {"code after a type-0 entry is not selected",
         {File({Entry(0, "0000000000000000", "00000999"), Entry(3, "0000000000000000")})},
         "V1.00",
         2,
         "3FFFFFFFFFFFFFFF"},
        {"no entry for the code",
         {File({Entry(3, "0000000000000000", "00000999")})},
         "V1.00",
         2,
         "3FFFFFFFFFFFFFFF"},
        {"entry for the code of another type only",
         {File({Entry(5, "0000000000000000")})},
         "V1.00",
         64,
         "3FFFFFFFFFFFFFFF"},
        {"advisory version: merged, 8",
         {File({Entry(3, "0FFFFFFFFFFFFF00")}, "V2.00", '0')},
         "V1.00",
         8,
         "3FFFFFFFFFFFFF00"},
        {"strict version in the second file: 4, nothing merged",
         {File({Entry(3, "0000000000000000")}), File({Entry(3, "0000000000000000")}, "V2.00", '1')},
         "V1.00",
         4,
         "3FFFFFFFFFFFFFFF"},
        {"advisory then strict: 4",
         {File({Entry(3, "0000000000000000")}, "V2.00", '0'), File({Entry(3, "00")}, "V2.00", '1')},
         "V1.00",
         4,
         "3FFFFFFFFFFFFFFF"},
        {"strict version of an unselected file does not matter",
         {File({Entry(3, "0FFFFFFFFFFFFF00")}), File({Entry(3, "00", "00000999")}, "V9.00", '1')},
         "V1.00",
         0,
         "3FFFFFFFFFFFFF00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryOptionFiles files;
        std::vector<CString> list;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            const std::string path = std::string(1, char('a' + i)) + ".ENH";
            files.Put(path, c.files[i]);
            list.push_back(path.c_str());
        }
        const Record before = MakeRecord();
        Record record = before;
        COptionLogic logic(files);
        EXPECT_EQ(logic.ApplyFolderOptions(list, record.data(), c.version), c.expected);
        EXPECT_EQ(OptionBytes(record), FromHex(c.optionBytes));
        ExpectOnlyOptionBytesChanged(before, record);
        EXPECT_EQ(files.open, 0);
    }
}

TEST(FolderOptions, EachSelectedFileIsReadOncePerStepWithAPauseAfterEach)
{
    CMemoryOptionFiles files;
    files.Put("a.ENH", File({Entry(3, "0FFFFFFFFFFFFFFF")}));
    files.Put("b.ENH", File({Entry(3, "00", "00000999")}));
    files.PutUnreadable("c.ENH");
    Record record = MakeRecord();
    COptionLogic logic(files);
    EXPECT_EQ(logic.ApplyFolderOptions(Paths({"a.ENH", "b.ENH", "c.ENH"}), record.data(), "V1.00"), 0);
    const std::vector<std::string> expected = {"a.ENH", "b.ENH", "c.ENH", "a.ENH", "a.ENH"};
    EXPECT_EQ(files.reads, expected);
    EXPECT_EQ(files.begun, 5);
    EXPECT_EQ(files.pauses, 4); // not after the unreadable file
    EXPECT_EQ(files.open, 0);
}

// Files that are not what they seem, or change between the steps of a run.
TEST(FolderOptions, ShortChangedAndUnreadableFiles)
{
    const Bytes good = File({Entry(3, "0FFFFFFFFFFFFF00")});
    const Bytes other = File({Entry(3, "0FFFFFFFFFFFF0FF")});
    Bytes shortFile = good;
    shortFile.resize(300);
    Bytes zeroTail = good;
    zeroTail.resize(OptionFile::kHeaderSize); // the entries are gone

    struct Case {
        const char* name;
        void (*setup)(CMemoryOptionFiles&, const Bytes& good, const Bytes& other, const Bytes& shortFile,
                      const Bytes& headerOnly);
        int expected;
        const char* optionBytes;
    };
    const Case cases[] = {
        {"a file shorter than the header is never an option file",
         [](CMemoryOptionFiles& f, const Bytes&, const Bytes& o, const Bytes& s, const Bytes&) {
             f.Put("a.ENH", s);
             f.Put("b.ENH", o);
         },
         0, "3FFFFFFFFFFFF0FF"},
        {"only short files: no entry",
         [](CMemoryOptionFiles& f, const Bytes&, const Bytes&, const Bytes& s, const Bytes&) {
             f.Put("a.ENH", s);
             f.Put("b.ENH", s);
         },
         2, "3FFFFFFFFFFFFFFF"},
        {"unreadable in the version step: dropped, not merged",
         [](CMemoryOptionFiles& f, const Bytes& g, const Bytes& o, const Bytes&, const Bytes&) {
             f.Put("a.ENH", g);
             f.ThenUnreadable("a.ENH");
             f.Then("a.ENH", g); // readable again for the merge
             f.Put("b.ENH", o);
         },
         0, "3FFFFFFFFFFFF0FF"},
        {"the only selected file unreadable in the version step",
         [](CMemoryOptionFiles& f, const Bytes& g, const Bytes&, const Bytes&, const Bytes&) {
             f.Put("a.ENH", g);
             f.ThenUnreadable("a.ENH");
             f.Then("a.ENH", g);
         },
         2, "3FFFFFFFFFFFFFFF"},
        {"shrunk below the header before the version step: dropped",
         [](CMemoryOptionFiles& f, const Bytes& g, const Bytes& o, const Bytes& s, const Bytes&) {
             f.Put("a.ENH", g);
             f.Then("a.ENH", s);
             f.Then("a.ENH", g);
             f.Put("b.ENH", o);
         },
         0, "3FFFFFFFFFFFF0FF"},
        {"entries gone before the merge: nothing taken from zeros",
         [](CMemoryOptionFiles& f, const Bytes& g, const Bytes&, const Bytes&, const Bytes& h) {
             f.Put("a.ENH", g);
             f.Then("a.ENH", g);
             f.Then("a.ENH", h);
         },
         64, "3FFFFFFFFFFFFFFF"},
        {"unreadable in the merge step: the other file still merges",
         [](CMemoryOptionFiles& f, const Bytes& g, const Bytes& o, const Bytes&, const Bytes&) {
             f.Put("a.ENH", g);
             f.Then("a.ENH", g);
             f.ThenUnreadable("a.ENH");
             f.Put("b.ENH", o);
         },
         0, "3FFFFFFFFFFFF0FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryOptionFiles files;
        c.setup(files, good, other, shortFile, zeroTail);
        Record record = MakeRecord();
        COptionLogic logic(files);
        EXPECT_EQ(logic.ApplyFolderOptions(Paths({"a.ENH", "b.ENH"}), record.data(), "V1.00"), c.expected);
        EXPECT_EQ(OptionBytes(record), FromHex(c.optionBytes));
        EXPECT_EQ(files.open, 0);
    }
}

TEST(FolderCollection, HeaderOfTheIdentityModelOnly)
{
    CMemoryOptionFiles files;
    Bytes shortFile = File({});
    shortFile.resize(OptionFile::kModelName + kModelNameSize); // the model name is there, the header is not
    files.Put("mine.ENH", File({Entry(3, "00")}));
    files.Put("other.ENH", File({}, "V1.00", '1', "QX-5200"));
    files.Put("short.ENH", shortFile);
    files.Put("variant.ENH", File({}, "V1.00", '1', "QX-5100E")); // all 12 bytes must match
    files.PutUnreadable("locked.ENH");

    unsigned char identity[IdentityBlock::kSize] = {};
    std::memcpy(identity, kModel, std::strlen(kModel));
    identity[20] = 0x77; // beyond the name: not looked at
    COptionLogic logic(files);
    EXPECT_TRUE(logic.IsOptionFileForModel("mine.ENH", identity));
    EXPECT_FALSE(logic.IsOptionFileForModel("other.ENH", identity));
    EXPECT_FALSE(logic.IsOptionFileForModel("short.ENH", identity));
    EXPECT_FALSE(logic.IsOptionFileForModel("variant.ENH", identity));
    EXPECT_FALSE(logic.IsOptionFileForModel("locked.ENH", identity));
    EXPECT_EQ(files.pauses, 4);
    EXPECT_EQ(files.open, 0);
}

TEST(FileOptions, Results)
{
    Bytes shortHeader = File({Entry(3, "00")});
    shortHeader.resize(OptionFile::kVersionRule + 1); // model and version there, no whole header
    EnhDescription tail;
    tail.model = kModel;
    tail.minVersion = "V1.00";
    tail.tail = 23;
    Bytes tailOnly = BuildEnhFile(tail); // 480 + 23: no entries

    struct Case {
        const char* name;
        Bytes file;
        bool readable;
        const char* version;
        int expected;
        const char* optionBytes;
    };
    const Case cases[] = {
        {"merged", File({Entry(3, "0FFFFFFFFFFF00FF")}), true, "V1.00", 0, "3FFFFFFFFFFF00FF"},
        {"advisory version: merged, 8", File({Entry(3, "0FFFFFFFFFFF00FF")}, "V1.10", '2'), true, "V1.00", 8,
         "3FFFFFFFFFFF00FF"},
        {"required version", File({Entry(3, "00")}, "V1.10", '1'), true, "V1.00", 4, "3FFFFFFFFFFFFFFF"},
        {"unreadable", {}, false, "V1.00", 16, "3FFFFFFFFFFFFFFF"},
        {"another model, whatever the entries", File({Entry(3, "00")}, "V1.00", '1', "QX-5200"), true,
         "V1.00", 32, "3FFFFFFFFFFFFFFF"},
        {"shorter than the header names no model", shortHeader, true, "V1.00", 32, "3FFFFFFFFFFFFFFF"},
        {"empty file", {}, true, "V1.00", 32, "3FFFFFFFFFFFFFFF"},
        {"header only", File({}), true, "V1.00", 2, "3FFFFFFFFFFFFFFF"},
        {"header and a partial entry", tailOnly, true, "V1.00", 2, "3FFFFFFFFFFFFFFF"},
        {"no entry for the code", File({Entry(3, "00", "00000999")}), true, "V1.00", 2, "3FFFFFFFFFFFFFFF"},
        {"first code entry of another type: 64 although a later one fits",
         File({Entry(5, "00"), Entry(3, "0FFFFFFFFFFFFFF0")}), true, "V1.00", 64, "3FFFFFFFFFFFFFFF"},
        {"type 0 does not end the File mode walk",
         File({Entry(0, "00", "00000999"), Entry(3, "0FFFFFFFFFFFFFF0")}), true, "V1.00", 0,
         "3FFFFFFFFFFFFFF0"},
        {"strict version checked before the entries", File({Entry(5, "00")}, "V2.00", '1'), true, "V1.00", 4,
         "3FFFFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryOptionFiles files;
        if (c.readable)
            files.Put("x.ENH", c.file);
        else
            files.PutUnreadable("x.ENH");
        const Record before = MakeRecord();
        Record record = before;
        COptionLogic logic(files);
        EXPECT_EQ(logic.ApplyFileOptions("x.ENH", record.data(), c.version), c.expected);
        EXPECT_EQ(OptionBytes(record), FromHex(c.optionBytes));
        ExpectOnlyOptionBytesChanged(before, record);
        EXPECT_EQ(files.begun, 0); // File mode has no per-file pauses
    }
}
