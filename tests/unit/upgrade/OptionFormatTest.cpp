// The option formats: refusal list, version test, entry count, the option bytes as shown.
#include "upgrade/OptionFileView.h"
#include "upgrade/OptionFormat.h"
#include "tools/enhtool/EnhFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Identity(const std::string& model)
{
    std::vector<unsigned char> identity(IdentityBlock::kSize, 0x5A);
    std::memcpy(identity.data(), model.data(), model.size());
    return identity;
}

} // namespace

TEST(RefusedModels, OnlyTheSevenCharacterDesignationCounts)
{
    struct Case {
        const char* model; // 12 bytes of the identity block's name
        bool refused;
    } cases[] = {
        {"QM-3390\0\0\0\0\0", true},           {"QM-3260SX-EU", true}, // variant suffix: still refused
        {"QM-3130\xff\xff\xff\xff\xff", true}, {"QM-3131\0\0\0\0\0", false},
        {"qm-3390\0\0\0\0\0", false}, // byte comparison, not case-blind
        {"QM-339\0\0\0\0\0\0", false},         {"XQM-3390\0\0\0\0", false},
        {"QX-5100\0\0\0\0\0", false},
    };
    for (const Case& c : cases) {
        const auto identity = Identity(std::string(c.model, 12));
        EXPECT_EQ(IsRefusedModelName(identity.data()), c.refused) << c.model;
    }
}

TEST(VersionTest, ComparesSixBytesAndTheRuleDecides)
{
    struct Case {
        const char* fileVersion; // up to 6 bytes in the header
        unsigned char rule;
        const char* transceiver;
        int expected;
    } cases[] = {
        {"V1.20", '1', "V1.20", 0}, // equal passes
        {"V1.20", '1', "V1.21", 0},
        {"V1.20", '1', "V1.10", 4},  // lower in the 4th byte, required
        {"V1.20", '0', "V1.10", 8},  // same, recommended
        {"V1.20", 0x00, "V1.10", 8}, // only '1' requires
        {"V1.20", '1', "V1.3", 0},   // higher 4th byte passes whatever follows
        {"V1.20", '1', "V1.2", 4},   // shorter text is zero padded: lower
        {"V1.2", '1', "V1.2", 0},
        {"V1.2", '1', "V1.20", 0}, // the file's zero byte is below '0'
        {"V9", '1', "V10", 4},     // bytes, not numbers
        {"V1.20", '1', "", 4},     // no version at all
        {"", '1', "", 0},
        {"V1.20A", '1', "V1.20Azzzz", 0}, // only 6 bytes compared
        {"V1.20B", '1', "V1.20A0000", 4},
        {"\xff", '1', "\x7f", 4}, // unsigned bytes
    };
    for (const Case& c : cases) {
        EnhDescription d;
        d.model = "QX-5100";
        d.minVersion = c.fileVersion;
        d.rule = c.rule;
        const auto file = BuildEnhFile(d);
        EXPECT_EQ(VersionTest(file.data(), c.transceiver), c.expected)
            << "file " << c.fileVersion << " rule " << int(c.rule) << " transceiver " << c.transceiver;
    }
}

TEST(VersionText, UpToTheFirstZeroAtMostTenBytes)
{
    const unsigned char full[10] = {'V', '1', '.', '2', '0', '-', 'E', 'U', 'R', 'X'};
    const unsigned char shorter[10] = {'V', '1', 0, '2', 0, 0, 0, 0, 0, 0};
    const unsigned char empty[10] = {};
    EXPECT_EQ(VersionTextLength(full), 10u);
    EXPECT_EQ(VersionTextLength(shorter), 2u);
    EXPECT_EQ(VersionTextLength(empty), 0u);
}

TEST(OptionFileView, OnlyWholeEntriesAfterAWholeHeaderCount)
{
    struct Case {
        std::size_t size;
        bool header;
        std::size_t entries;
    } cases[] = {
        {0, false, 0},  {1, false, 0},  {134, false, 0}, {479, false, 0}, {480, true, 0},
        {503, true, 0}, {504, true, 1}, {527, true, 1},  {528, true, 2},  {480 + 24 * 100 + 23, true, 100},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes(c.size, 0x11);
        const COptionFileView view(bytes);
        EXPECT_EQ(view.HasHeader(), c.header) << c.size;
        EXPECT_EQ(view.EntryCount(), c.entries) << c.size;
        const unsigned char model[12] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                         0x11, 0x11, 0x11, 0x11, 0x11, 0x11};
        EXPECT_EQ(view.IsForModel(model), c.header) << c.size;
    }
}

// Bytes given as an option file are judged before any port is opened: what
// the enhtool makes is one, whatever model it names; what is too short or
// has no model name where the header has it is not.
TEST(OptionFileView, AFileIsJudgedAnOptionFileByItsHeaderAlone)
{
    EnhDescription description;
    description.model = "QX-5200";
    const std::vector<unsigned char> made = BuildEnhFile(description);
    const auto withName = [&made](const std::string& name) {
        std::vector<unsigned char> bytes = made;
        std::fill_n(bytes.begin() + OptionFile::kModelName, kModelNameSize, 0);
        std::copy(name.begin(), name.end(), bytes.begin() + OptionFile::kModelName);
        return bytes;
    };
    std::vector<unsigned char> noise(1000);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<unsigned char>((i * 151 + 7) % 256);
    std::string lines;
    while (lines.size() < 700)
        lines += "a line of notes\r\n";
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        OptionFileShape shape;
    } cases[] = {
        {"made by the enhtool", made, OptionFileShape::OptionFile},
        {"a whole twelve-byte name", withName("QX-5200ABCDE"), OptionFileShape::OptionFile},
        {"the header alone", std::vector<unsigned char>(made.begin(), made.begin() + OptionFile::kHeaderSize),
         OptionFileShape::OptionFile},
        {"empty", {}, OptionFileShape::TooShort},
        {"one byte short of the header",
         std::vector<unsigned char>(made.begin(), made.begin() + OptionFile::kHeaderSize - 1),
         OptionFileShape::TooShort},
        {"no name", withName(""), OptionFileShape::NoModelName},
        {"a name after padding", withName(" QX-5200"), OptionFileShape::NoModelName},
        {"bytes after the name's end", withName(std::string("QX\0\0\0X", 6)), OptionFileShape::NoModelName},
        {"a control byte in the name", withName("QX\t5200"), OptionFileShape::NoModelName},
        {"random bytes", noise, OptionFileShape::NoModelName},
        {"text lines", std::vector<unsigned char>(lines.begin(), lines.end()), OptionFileShape::NoModelName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(JudgeOptionFileShape(COptionFileView(c.bytes)), c.shape);
    }
}

// The option bytes as a person compares them: the pairs come from the option
// bytes' offset (the record counts up from byte 0, so a window shifted by one
// shows other digits), and each changed byte is marked in both lines.
TEST(MarkedOptionBytes, MarksTheChangedOptionBytesInBothLines)
{
    struct Change {
        std::size_t offset;
        unsigned char value;
    };
    struct Case {
        const char* name;
        std::vector<Change> before; // over the counting record
        std::vector<Change> after;  // over before
        const char* shownBefore;
        const char* shownAfter;
    } cases[] = {
        {"no change", {}, {}, "2a 2b 2c 2d 2e 2f 30 31", "2a 2b 2c 2d 2e 2f 30 31"},
        {"every option byte",
         {},
         {{42, 0}, {43, 1}, {44, 2}, {45, 3}, {46, 4}, {47, 5}, {48, 6}, {49, 7}},
         "[2a] [2b] [2c] [2d] [2e] [2f] [30] [31]",
         "[00] [01] [02] [03] [04] [05] [06] [07]"},
        {"first and last option byte",
         {},
         {{42, 0x0a}, {49, 0xa0}},
         "[2a] 2b 2c 2d 2e 2f 30 [31]",
         "[0a] 2b 2c 2d 2e 2f 30 [a0]"},
        {"an option type's merge",
         {{42, 0xf3}, {43, 0xff}, {44, 0xff}, {45, 0xff}, {46, 0xff}, {47, 0xff}, {48, 0xff}, {49, 0x7f}},
         {{42, 0xf1}, {43, 0x7f}, {46, 0xfe}},
         "[f3] [ff] ff ff [ff] ff ff 7f",
         "[f1] [7f] ff ff [fe] ff ff 7f"},
        // Outside the option bytes (the byte just before them, the option
        // code, the model name): not shown, so nothing is marked.
        {"only bytes outside the option bytes",
         {},
         {{41, 0}, {OptionRecord::kOptionCode, 0}, {OptionRecord::kModelName, 0}, {0, 0xff}},
         "2a 2b 2c 2d 2e 2f 30 31",
         "2a 2b 2c 2d 2e 2f 30 31"},
        {"outside and one option byte",
         {},
         {{41, 0}, {45, 0x2e}},
         "2a 2b 2c [2d] 2e 2f 30 31",
         "2a 2b 2c [2e] 2e 2f 30 31"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<unsigned char, OptionRecord::kSize> before{};
        for (std::size_t i = 0; i < before.size(); ++i)
            before[i] = static_cast<unsigned char>(i);
        for (const Change& change : c.before)
            before.at(change.offset) = change.value;
        auto after = before;
        for (const Change& change : c.after)
            after.at(change.offset) = change.value;

        const MarkedHex shown = MarkedOptionBytes(before, after);
        EXPECT_EQ(shown.before.str(), c.shownBefore);
        EXPECT_EQ(shown.after.str(), c.shownAfter);
    }
}
