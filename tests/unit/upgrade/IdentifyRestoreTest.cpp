// Identify and restore, the upgrade run's other two uses of the transceiver,
// and the run's modes beyond the Upgrade button (preview, skipping a write
// that changes nothing, reading the record back), in process under Wine
// against the link's fake transceiver with a scripted user at the message
// boxes: what each reads and writes, the messages it shows, the history rows
// it leaves (the pending row on record before the first byte of the write
// frame), and the transceiver left out of programming mode with the port
// closed on every way out.
#include "app/BoxAsker.h"
#include "upgrade/UpgradeRun.h"

#include "files/DataFile.h"
#include "framework/Hex.h"
#include "link/RadioCom.h"
#include "tests/support/DevelopmentTexts.h"
#include "tests/support/MemoryOptionFiles.h"
#include "tests/support/SampleTransceiver.h"
#include "tests/support/ScriptedBoxes.h"
#include "tests/support/FrameBytes.h"
#include "tests/support/HexText.h"
#include "tests/support/MemoryHistory.h"
#include "tests/support/TempFolder.h"
#include "text/FillText.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"
#include "tools/enhtool/EnhFile.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeHistory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kRetryBox = MB_RETRYCANCEL | MB_ICONERROR;

// A transceiver of the given model with a recognisable record.
void Transceiver(FakeTransceiver& fake, const char* model = kSampleModel)
{
    SampleIdentity(fake, model);
    fake.record.resize(OptionRecord::kSize);
    for (std::size_t i = 0; i < fake.record.size(); ++i)
        fake.record[i] = static_cast<unsigned char>(0x80 + i);
}

bool Contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// The history in memory, with each row's fields and whether the write frame
// had begun to go out when the row was appended.
class MemoryHistory : public CMemoryHistory {
public:
    struct Row {
        std::vector<std::string> fields;
        bool afterWriteFrame;
    };

    explicit MemoryHistory(const FakeTransceiver& fake) : m_fake(fake)
    {
        failure = "C:\\app\\History\\upgrades.csv: The process cannot access the file (error 32)";
        time = {2026, 1, 2, 3, 4, 5};
        tick = 0;
    }

    bool AppendLine(const CString& line, CString& error) override
    {
        if (!CMemoryHistory::AppendLine(line, error))
            return false;
        rows.push_back({Fields(lines.size() - 1), Contains(m_fake.Written(), kUwcb)});
        return true;
    }

    std::vector<std::string> Outcomes() const { return Column(History::kOutcome); }

    std::vector<Row> rows;

private:
    const FakeTransceiver& m_fake;
};

struct Box {
    int body;
    unsigned type;
};

CLanguageTable& Texts()
{
    return DevelopmentTexts();
}

// One run's world: a fresh transceiver, user, link and history.
struct Bench {
    Bench() { Transceiver(fake); }

    CUpgradeRun Run(const UpgradeRunMode& mode = {})
    {
        return CUpgradeRun({link, Texts(), answers, nullptr, dataFile, files, &journal}, mode);
    }

    void ExpectBoxes(const std::vector<Box>& expected) const
    {
        ASSERT_EQ(boxes.shown.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(boxes.shown[i].text, Texts().GetText(expected[i].body));
            EXPECT_EQ(boxes.shown[i].type, expected[i].type);
        }
    }
    // Out of programming mode, port closed.
    void ExpectLeftAlone() const
    {
        EXPECT_FALSE(fake.InProgrammingMode());
        EXPECT_EQ(fake.OpenHandles(), 0);
        EXPECT_EQ(link.IsPortOpen(), 0);
    }
    bool WriteFrameSent() const { return Contains(fake.Written(), kUwcb); }

    FakeTransceiver fake; // before the link: it closes through the fake
    ScriptedBoxes boxes;
    CBoxAsker answers; // the run asks as in ORVELLE.exe: through the boxes
    CRadioCom link{fake.Apis()};
    CDataFile dataFile;
    CMemoryOptionFiles files;
    MemoryHistory history{fake};
    CHistoryJournal journal{history, History::kProgramConsole, 1};
};

} // namespace

TEST(RunCommands, IdentifyReadsEverythingAndWritesNothing)
{
    struct Case {
        const char* name;
        std::function<void(Bench&)> setup;
        UpgradeOutcome outcome;
        std::vector<Box> boxes;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"new transceiver at 38400",
         [](Bench& b) { b.fake.scanBaud = 38400; },
         UpgradeOutcome::Identified,
         {},
         {"read"}},
        {"old transceiver",
         [](Bench& b) { b.fake.kind = Kind::Old; },
         UpgradeOutcome::Identified,
         {},
         {"read"}},
        {"a model that must not be upgraded is read all the same",
         [](Bench& b) { Transceiver(b.fake, "QM-3260X"); },
         UpgradeOutcome::Identified,
         {},
         {"read"}},
        {"record read fails after a retry",
         [](Bench& b) {
             b.fake.Script(Command::RecordRead, FakeTransceiver::Answer(Fault::Silence));
             b.fake.Script(Command::RecordRead, FakeTransceiver::Answer(Fault::Short));
             b.boxes.answers = {IDRETRY, IDCANCEL};
         },
         UpgradeOutcome::LinkFailed,
         {{TextNo::kLinkFailed, kRetryBox}, {TextNo::kLinkFailed, kRetryBox}},
         {}},
        {"silent transceiver",
         [](Bench& b) { b.fake.kind = Kind::None; },
         UpgradeOutcome::LinkFailed,
         {{TextNo::kLinkFailed, kRetryBox}},
         {}},
        {"no such port",
         [](Bench& b) {
             b.fake.missingPorts = {"COM1", "\\\\.\\COM1"};
         },
         UpgradeOutcome::PortNotOpened,
         {{TextNo::kPortNotOpened, MB_OK | MB_ICONERROR}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        c.setup(b);

        const UpgradeResult result = b.Run().Identify(1);
        EXPECT_EQ(result.outcome, c.outcome);
        b.ExpectBoxes(c.boxes);
        EXPECT_EQ(b.history.Outcomes(), c.rows);
        EXPECT_FALSE(b.WriteFrameSent());
        EXPECT_TRUE(b.fake.recordsWritten.empty());
        b.ExpectLeftAlone();
        if (c.outcome != UpgradeOutcome::Identified)
            continue;
        EXPECT_EQ(Bytes(result.identity.begin(), result.identity.end()), b.fake.identity);
        EXPECT_EQ(result.version, "V1.20");
        EXPECT_EQ(Bytes(result.recordBefore.begin(), result.recordBefore.end()), b.fake.record);
        const auto& row = b.history.rows.at(0).fields;
        EXPECT_EQ(row.at(History::kProgram), "orvelle-cli");
        EXPECT_EQ(row.at(History::kIdentity), Hex(b.fake.identity));
        EXPECT_EQ(row.at(History::kRecordBefore), Hex(b.fake.record));
        EXPECT_EQ(row.at(History::kRecordAfter), "");
    }
}

TEST(RunCommands, RestoreChecksTheTransceiverThenWritesLikeAnUpgrade)
{
    Bytes restored(OptionRecord::kSize);
    for (std::size_t i = 0; i < restored.size(); ++i)
        restored[i] = static_cast<unsigned char>(0x20 + i);
    restored = OfModel(restored);
    const auto same = [](const unsigned char*) { return true; };
    const auto other = [](const unsigned char*) { return false; };

    struct Case {
        const char* name;
        std::function<void(Bench&)> setup;
        TransceiverCheck check;
        UpgradeOutcome outcome;
        std::vector<Box> boxes;
        std::vector<std::string> rows;
        bool written; // the transceiver holds the restored record afterwards
    };
    const Case cases[] = {
        {"the same transceiver",
         nullptr,
         same,
         UpgradeOutcome::Written,
         {{TextNo::kRecordWritten, MB_ICONINFORMATION}},
         {"pending", "written"},
         true},
        {"no check",
         nullptr,
         nullptr,
         UpgradeOutcome::Written,
         {{TextNo::kRecordWritten, MB_ICONINFORMATION}},
         {"pending", "written"},
         true},
        {"another transceiver: nothing written, no message",
         nullptr,
         other,
         UpgradeOutcome::OtherTransceiver,
         {},
         {"not-upgraded"},
         false},
        {"refused by the transceiver",
         [](Bench& b) { b.fake.writeAnswer = 0x15; },
         same,
         UpgradeOutcome::Refused,
         {{TextNo::kRecordRefused, MB_ICONINFORMATION}},
         {"pending", "refused"},
         false},
        {"no answer to the write frame, retried, then cancelled",
         [](Bench& b) {
             b.fake.Script(Command::RecordWrite, FakeTransceiver::Answer(Fault::Silence));
             b.fake.Script(Command::RecordWrite, FakeTransceiver::Answer(Fault::Silence));
             b.boxes.answers = {IDRETRY, IDCANCEL};
         },
         same,
         UpgradeOutcome::LinkFailed,
         {{TextNo::kLinkFailed, kRetryBox}, {TextNo::kLinkFailed, kRetryBox}},
         {"pending", "failed"},
         false},
        {"a model that must not be upgraded",
         [](Bench& b) { Transceiver(b.fake, "QM-3390X"); },
         nullptr,
         UpgradeOutcome::RefusedModel,
         {{TextNo::kRefusedModel, MB_ICONERROR}},
         {},
         false},
        {"silent transceiver",
         [](Bench& b) { b.fake.kind = Kind::None; },
         same,
         UpgradeOutcome::LinkFailed,
         {{TextNo::kLinkFailed, kRetryBox}},
         {},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        if (c.setup)
            c.setup(b);
        const Bytes before = b.fake.record;
        // The check sees the identity just read, after the record was read.
        std::vector<Bytes> checked;
        TransceiverCheck check;
        if (c.check) {
            check = [&](const unsigned char* identity) {
                checked.push_back(Bytes(identity, identity + IdentityBlock::kSize));
                EXPECT_TRUE(Contains(b.fake.Written(), kUrcb));
                return c.check(identity);
            };
        }

        EXPECT_EQ(b.Run().Restore(1, restored.data(), {History::RestoreRowSource(3)}, check).outcome,
                  c.outcome);
        b.ExpectBoxes(c.boxes);
        EXPECT_EQ(b.history.Outcomes(), c.rows);
        EXPECT_EQ(b.fake.record, c.written ? restored : before);
        b.ExpectLeftAlone();
        if (c.check && c.outcome != UpgradeOutcome::RefusedModel && b.fake.kind != Kind::None) {
            ASSERT_EQ(checked.size(), 1u);
            EXPECT_EQ(checked[0], b.fake.identity);
        }
        if (c.outcome == UpgradeOutcome::OtherTransceiver || c.rows.empty()) {
            EXPECT_FALSE(b.WriteFrameSent());
            continue;
        }
        // The pending row is on record before the write frame goes out, and
        // holds what puts the transceiver back.
        const MemoryHistory::Row& pending = b.history.rows.at(0);
        EXPECT_FALSE(pending.afterWriteFrame);
        EXPECT_EQ(pending.fields.at(History::kRecordBefore), Hex(before));
        EXPECT_EQ(pending.fields.at(History::kRecordAfter), Hex(restored));
        EXPECT_EQ(pending.fields.at(History::kSources), "restore:3");
        EXPECT_TRUE(b.history.rows.at(1).afterWriteFrame);
        EXPECT_EQ(b.history.rows.at(1).fields.at(History::kRecordAfter), Hex(restored));
    }
}

namespace {

// An option file for the bench's transceiver: on disk for the location check,
// in memory for the option logic.
std::string PutOptionFile(Bench& b, const TempFolder& folder, const char* mask,
                          const char* minVersion = "V1.00", unsigned char rule = '1')
{
    EnhDescription d;
    d.model = "QX-5100";
    d.minVersion = minVersion;
    d.rule = rule;
    d.entries = {MakeEnhEntry("00000102", 3, mask)};
    const std::string path = folder / "a.ENH";
    std::ofstream(path, std::ios::binary) << "x";
    b.files.Put(path, BuildEnhFile(d));
    return path;
}

Bytes OptionBytes(const Bytes& record)
{
    return Bytes(record.begin() + OptionRecord::kOptionBytes, record.end());
}

std::size_t Connections(const FakeTransceiver& fake)
{
    const auto frames = fake.WrittenFrames();
    return static_cast<std::size_t>(std::count(frames.begin(), frames.end(), kUrk));
}

constexpr const char* kChangesOptions = "0FFFFFFFFFFFFFF0";
constexpr const char* kChangesNothing = "FFFFFFFFFFFFFFFF";

} // namespace

// A preview, and a run that skips a write changing nothing: the same reads,
// refusals and option logic as an upgrade, and no write frame.
TEST(RunModes, PreviewAndSkipUnchangedSendNoWriteFrame)
{
    UpgradeRunMode preview;
    preview.preview = true;
    UpgradeRunMode skip;
    skip.skipUnchanged = true;
    struct Case {
        const char* name;
        UpgradeRunMode mode;
        const char* mask;
        const char* minVersion; // the transceiver has V1.20
        unsigned char rule;
        std::function<void(Bench&)> setup;
        UpgradeOutcome outcome;
        std::vector<Box> boxes;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"preview of a change",
         preview,
         kChangesOptions,
         "V1.00",
         '1',
         nullptr,
         UpgradeOutcome::Planned,
         {},
         {"planned"}},
        {"preview of a merge that changes nothing",
         preview,
         kChangesNothing,
         "V1.00",
         '1',
         nullptr,
         UpgradeOutcome::Unchanged,
         {},
         {"unchanged"}},
        {"preview with the advisory version note",
         preview,
         kChangesOptions,
         "V1.30",
         '0',
         nullptr,
         UpgradeOutcome::Planned,
         {},
         {"planned"}},
        {"preview of a refused model",
         preview,
         kChangesOptions,
         "V1.00",
         '1',
         [](Bench& b) {
             Transceiver(b.fake, "QM-3390X");
             FitSampleRecord(b.fake);
         },
         UpgradeOutcome::RefusedModel,
         {{TextNo::kRefusedModel, MB_ICONERROR}},
         {}},
        {"preview that needs a newer version",
         preview,
         kChangesOptions,
         "V1.30",
         '1',
         nullptr,
         UpgradeOutcome::VersionRequired,
         {{TextNo::kVersionRequired, MB_ICONERROR}},
         {"not-upgraded"}},
        {"skipped: nothing to change",
         skip,
         kChangesNothing,
         "V1.00",
         '1',
         nullptr,
         UpgradeOutcome::Unchanged,
         {},
         {"unchanged"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        FitSampleRecord(b.fake);
        if (c.setup)
            c.setup(b);
        TempFolder folder;
        const std::string path = PutOptionFile(b, folder, c.mask, c.minVersion, c.rule);
        const Bytes before = b.fake.record;

        const UpgradeResult result = b.Run(c.mode).UpgradeFromFile(1, path.c_str());
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(RunResult(result.outcome), c.boxes.empty() ? 0 : 1);
        b.ExpectBoxes(c.boxes);
        EXPECT_EQ(b.history.Outcomes(), c.rows);
        EXPECT_FALSE(b.WriteFrameSent());
        EXPECT_TRUE(b.fake.recordsWritten.empty());
        EXPECT_EQ(b.fake.record, before);
        b.ExpectLeftAlone();
        EXPECT_FALSE(result.writeTried);
        if (!result.recordPlanned)
            continue;
        // What would have been written, in the result and on the row.
        Bytes after(result.recordAfter.begin(), result.recordAfter.end());
        Bytes expected = before;
        if (c.mask == kChangesOptions)
            expected.back() = 0xF0;
        EXPECT_EQ(after, expected);
        EXPECT_EQ(OptionBytes(after) == OptionBytes(before), c.outcome == UpgradeOutcome::Unchanged);
        EXPECT_EQ(result.versionNote, c.rule == '0');
        const auto& row = b.history.rows.at(0).fields;
        EXPECT_EQ(row.at(History::kRecordBefore), Hex(before));
        EXPECT_EQ(row.at(History::kRecordAfter), Hex(expected));
        EXPECT_EQ(row.at(History::kSources), path);
    }

    // Skipping only skips what changes nothing: a change is written as by
    // the Upgrade button.
    Bench b;
    FitSampleRecord(b.fake);
    TempFolder folder;
    const std::string path = PutOptionFile(b, folder, kChangesOptions);
    EXPECT_EQ(b.Run(skip).UpgradeFromFile(1, path.c_str()).outcome, UpgradeOutcome::Written);
    b.ExpectBoxes({{TextNo::kRecordWritten, MB_ICONINFORMATION}});
    EXPECT_EQ(b.history.Outcomes(), (std::vector<std::string>{"pending", "written"}));
    EXPECT_EQ(b.fake.record.back(), 0xF0);
}

// --verify: a second connection reads the record back; the outcome message
// comes only once it is what was written.
TEST(RunModes, VerifyReadsTheRecordBackOverASecondConnection)
{
    UpgradeRunMode verify;
    verify.verify = true;
    struct Case {
        const char* name;
        std::function<void(Bench&)> setup;
        UpgradeOutcome outcome;
        std::vector<Box> boxes;
        std::vector<std::string> rows;
        bool readBack;
        bool stored; // the transceiver keeps the new record
    };
    const Case cases[] = {
        {"an honest transceiver",
         nullptr,
         UpgradeOutcome::Written,
         {{TextNo::kRecordWritten, MB_ICONINFORMATION}},
         {"pending", "written"},
         true,
         true},
        {"a transceiver that acknowledges and keeps its old record",
         [](Bench& b) { b.fake.Script(Command::RecordWrite, FakeTransceiver::Raw({0x06})); },
         UpgradeOutcome::VerifyFailed,
         {{TextNo::kVerifyFailed, MB_ICONERROR}},
         {"pending", "verify-failed"},
         true,
         false},
        {"another transceiver answers the second connection",
         [](Bench& b) {
             Bytes other = b.fake.identity;
             other[20] = 0x43;
             Bytes answer = {0x55};
             answer.insert(answer.end(), other.begin(), other.end());
             unsigned char sum = 0;
             for (unsigned char x : other)
                 sum = static_cast<unsigned char>(sum + x);
             answer.push_back(sum);
             b.fake.Script(Command::Identity, FakeTransceiver::Answer(Fault::None));
             b.fake.Script(Command::Identity, FakeTransceiver::Raw(answer));
         },
         UpgradeOutcome::VerifyFailed,
         {{TextNo::kVerifyFailed, MB_ICONERROR}},
         {"pending", "verify-failed"},
         true,
         true},
        {"the link fails while reading back",
         [](Bench& b) {
             b.fake.Script(Command::RecordRead, FakeTransceiver::Answer(Fault::None));
             b.fake.Script(Command::RecordRead, FakeTransceiver::Answer(Fault::Silence));
             b.boxes.answers = {IDCANCEL};
         },
         UpgradeOutcome::VerifyFailed,
         {{TextNo::kLinkFailed, kRetryBox}},
         {"pending", "verify-failed"},
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        FitSampleRecord(b.fake);
        if (c.setup)
            c.setup(b);
        TempFolder folder;
        const std::string path = PutOptionFile(b, folder, kChangesOptions);
        const Bytes before = b.fake.record;
        Bytes written = before;
        written.back() = 0xF0;

        const UpgradeResult result = b.Run(verify).UpgradeFromFile(1, path.c_str());
        EXPECT_EQ(result.outcome, c.outcome);
        b.ExpectBoxes(c.boxes);
        EXPECT_EQ(b.history.Outcomes(), c.rows);
        EXPECT_EQ(b.fake.record, c.stored ? written : before);
        EXPECT_EQ(Connections(b.fake), 2u) << "the identity is read again";
        b.ExpectLeftAlone();
        EXPECT_EQ(result.readBack, c.readBack);
        EXPECT_EQ(result.verified, c.outcome == UpgradeOutcome::Written);
        // The final row holds what the transceiver was found to hold.
        const auto& last = b.history.rows.at(1).fields;
        const Bytes readBack(result.recordReadBack.begin(), result.recordReadBack.end());
        EXPECT_EQ(last.at(History::kRecordAfter), c.readBack ? Hex(readBack) : "");
        // And that is what the transceiver holds, not what the run believes.
        if (c.readBack) {
            EXPECT_EQ(last.at(History::kRecordAfter), Hex(b.fake.record));
        }
        if (c.readBack && c.outcome == UpgradeOutcome::VerifyFailed && c.stored) {
            EXPECT_NE(Bytes(result.identityReadBack.begin(), result.identityReadBack.end()),
                      Bytes(result.identity.begin(), result.identity.end()));
        }
    }

    // A restore reads back the same way.
    Bench b;
    Bytes restored = OfModel(Bytes(OptionRecord::kSize, 0x5A));
    b.fake.Script(Command::RecordWrite, FakeTransceiver::Raw({0x06}));
    EXPECT_EQ(b.Run(verify).Restore(1, restored.data(), {History::RestoreRecordSource()}, nullptr).outcome,
              UpgradeOutcome::VerifyFailed);
    EXPECT_EQ(b.history.Outcomes(), (std::vector<std::string>{"pending", "verify-failed"}));
    EXPECT_EQ(b.history.rows.at(1).fields.at(History::kRecordAfter), Hex(b.fake.record));
}

TEST(RunCommands, ARecordTheHistoryCannotKeepIsWrittenOnlyWhenTheUserSaysSo)
{
    Bytes restored = OfModel(Bytes(OptionRecord::kSize, 0x5A));
    const struct {
        const char* name;
        int answer;
        UpgradeOutcome outcome;
        std::vector<std::string> rows; // the pending row is lost, the next row gets through
        bool written;
    } cases[] = {
        {"No: nothing written, the run ends as a cancel",
         IDNO,
         UpgradeOutcome::HistoryUnavailable,
         {"not-upgraded"},
         false},
        {"Yes: written without a history entry", IDYES, UpgradeOutcome::Written, {"written"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.history.failuresLeft = 1;
        b.boxes.answers = {c.answer};
        const Bytes before = b.fake.record;
        // The question comes before the first byte of the write frame.
        bool frameBeforeQuestion = true;
        b.boxes.onShow = [&](const ScriptedBoxes::Box&) {
            if (b.boxes.shown.size() == 1)
                frameBeforeQuestion = b.WriteFrameSent();
        };

        EXPECT_EQ(b.Run().Restore(1, restored.data(), {History::RestoreRecordSource()}, nullptr).outcome,
                  c.outcome);
        ASSERT_FALSE(b.boxes.shown.empty());
        const ScriptedBoxes::Box& question = b.boxes.shown[0];
        EXPECT_FALSE(frameBeforeQuestion);
        EXPECT_EQ(question.type, static_cast<unsigned>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
        EXPECT_EQ(question.caption, Texts().GetText(TextNo::kCaptionQuestion));
        // It names the reason and the record as read, whole.
        EXPECT_NE(question.text.find("upgrades.csv: The process cannot access the file (error 32)"),
                  std::string::npos)
            << question.text;
        EXPECT_NE(question.text.find(Hex(before)), std::string::npos) << question.text;
        EXPECT_EQ(question.text.find("%1"), std::string::npos) << question.text;
        EXPECT_EQ(question.text.find("%2"), std::string::npos) << question.text;

        EXPECT_EQ(b.history.Outcomes(), c.rows);
        EXPECT_EQ(b.WriteFrameSent(), c.written);
        EXPECT_EQ(b.fake.record, c.written ? restored : before);
        EXPECT_EQ(b.boxes.shown.size(), c.written ? 2u : 1u) << "no other message after No";
        b.ExpectLeftAlone();
    }
}

TEST(RunCommands, AStopAskedForEndsTheRunAtItsNextStepButNeverOnceTheWriteHasBegun)
{
    Bytes restored = OfModel(Bytes(OptionRecord::kSize, 0x5A));
    // The stop is asked for as the PC sends the frame that begins with these
    // bytes.
    const struct {
        const char* name;
        Bytes frame;
        UpgradeOutcome outcome;
        std::vector<std::string> rows;
        bool written;
    } cases[] = {
        {"as the identity is asked for", kUrk, UpgradeOutcome::Interrupted, {}, false},
        {"as the record is asked for", kUrcb, UpgradeOutcome::Interrupted, {"not-upgraded"}, false},
        {"during the write frame", kUwcb, UpgradeOutcome::Written, {"pending", "written"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        bool asked = false;
        b.fake.onWrite = [&](const Bytes& chunk) {
            if (chunk.size() >= c.frame.size() && std::equal(c.frame.begin(), c.frame.end(), chunk.begin()))
                asked = true;
        };
        CUpgradeRun run(
            {b.link, Texts(), b.answers, nullptr, b.dataFile, b.files, &b.journal, [&] { return asked; }});
        EXPECT_EQ(run.Restore(1, restored.data(), {History::RestoreRecordSource()}, nullptr).outcome,
                  c.outcome);
        EXPECT_TRUE(asked);
        EXPECT_EQ(b.history.Outcomes(), c.rows);
        EXPECT_EQ(b.WriteFrameSent(), c.written);
        EXPECT_EQ(b.fake.recordsWritten.size(), c.written ? 1u : 0u) << "a frame is never cut";
        b.ExpectBoxes(c.written ? std::vector<Box>{{TextNo::kRecordWritten, MB_ICONINFORMATION}}
                                : std::vector<Box>{});
        b.ExpectLeftAlone();
        // Programming mode was ended with its own frame.
        EXPECT_TRUE(Contains(b.fake.Written(), kEnd));
    }
}

// The cable comes out during the write frame (after some of its bytes) or
// while its answer is read, and is put back as the user presses Retry. The
// run never reports written on a later answer alone, nor sends the frame
// again blind: the record is read back first. Found as meant: written, with
// no second frame; still the one before: the frame goes out again; a third
// record: the run fails, and the history keeps the record read beside the
// one found, under "failed".
TEST(CablePulledDuringTheWrite, TheRecordReadBackSettlesWhatTheRunReports)
{
    const Bytes restored = OfModel(Bytes(OptionRecord::kSize, 0x5A));
    const Bytes third(OptionRecord::kSize, 0xAB);
    const struct {
        const char* name;
        FakeTransceiver::Call call;
        size_t bytesOut;
        bool thirdRecord; // the radio is found holding a record nobody meant
        UpgradeOutcome outcome;
        std::string lastRow;
        size_t frames;
        int lastBox;
        unsigned lastBoxType;
    } cases[] = {
        {"cut after 20 bytes", Call::WriteFile, 20, false, UpgradeOutcome::Written, "written", 2,
         TextNo::kRecordWritten, MB_ICONINFORMATION},
        {"heard whole, its answer lost", Call::ReadFile, 53, false, UpgradeOutcome::Written, "written", 1,
         TextNo::kRecordWritten, MB_ICONINFORMATION},
        {"a third record found", Call::WriteFile, 20, true, UpgradeOutcome::LinkFailed, "failed", 1,
         TextNo::kLinkFailed, MB_ICONERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        const Bytes before = b.fake.record;
        b.boxes.answers = {IDRETRY};
        b.boxes.onShow = [&](const ScriptedBoxes::Box& box) {
            if (box.type != kRetryBox)
                return;
            if (c.thirdRecord)
                b.fake.record = third;
            b.fake.PlugCable();
        };
        bool pulled = false; // during the first frame only
        b.fake.onWrite = [&](const Bytes& chunk) {
            if (!pulled && chunk.size() >= 3 && std::equal(kUwcb.begin(), kUwcb.end(), chunk.begin())) {
                pulled = true;
                b.fake.PullCableDuring(c.call, ERROR_DEV_NOT_EXIST, c.bytesOut);
            }
        };
        EXPECT_EQ(b.Run().Restore(1, restored.data(), {History::RestoreRecordSource()}, nullptr).outcome,
                  c.outcome);
        EXPECT_EQ(b.history.Outcomes(), (std::vector<std::string>{"pending", c.lastRow}));
        const auto& row = b.history.rows.back().fields;
        EXPECT_EQ(row[History::kRecordBefore], HexLower(before.data(), before.size()).GetString());
        EXPECT_EQ(row[History::kRecordAfter],
                  HexLower((c.thirdRecord ? third : restored).data(), OptionRecord::kSize).GetString());
        std::size_t frames = 0;
        for (const Bytes& frame : b.fake.WrittenFrames())
            frames += frame.size() >= 3 && std::equal(kUwcb.begin(), kUwcb.end(), frame.begin()) ? 1 : 0;
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(b.fake.record, c.thirdRecord ? third : restored);
        b.ExpectBoxes({{TextNo::kLinkFailed, kRetryBox}, {c.lastBox, c.lastBoxType}});
        b.ExpectLeftAlone();
    }
}

// The adapter comes back under another port number: nothing is opened on a
// guess; the run fails with the message that names the port to choose, and
// the frame is not sent again.
TEST(CablePulledDuringTheWrite, BackUnderAnotherNumberTheRunNamesThePort)
{
    const Bytes restored = OfModel(Bytes(OptionRecord::kSize, 0x5A));
    Bench b;
    b.fake.AddPort(1, "USB Serial Port (COM1)");
    b.boxes.answers = {IDRETRY};
    b.boxes.onShow = [&](const ScriptedBoxes::Box& box) {
        if (box.type == kRetryBox)
            b.fake.PlugCable(4);
    };
    b.fake.onWrite = [&](const Bytes& chunk) {
        if (chunk.size() >= 3 && std::equal(kUwcb.begin(), kUwcb.end(), chunk.begin()))
            b.fake.PullCableDuring(Call::WriteFile, ERROR_INVALID_HANDLE, 30);
    };
    EXPECT_EQ(b.Run().Restore(1, restored.data(), {History::RestoreRecordSource()}, nullptr).outcome,
              UpgradeOutcome::LinkFailed);
    ASSERT_EQ(b.boxes.shown.size(), 2u);
    EXPECT_EQ(b.boxes.shown[1].text,
              std::string(FillText(Texts().GetText(TextNo::kPortMoved), {"1", "4"}).GetString()));
    EXPECT_NE(b.boxes.shown[1].text.find("COM4"), std::string::npos);
    EXPECT_EQ(b.boxes.shown[1].type, static_cast<unsigned>(MB_ICONERROR));
    EXPECT_EQ(b.history.Outcomes(), (std::vector<std::string>{"pending", "failed"}));
    for (const auto& open : b.fake.opens)
        EXPECT_EQ(open.name, "COM1");
    EXPECT_TRUE(b.fake.recordsWritten.empty());
}

namespace {

// A user in place of the boxes: answers from a script and keeps, in order,
// what it was asked and told ("retry <step>", "port", "error", "warning",
// "information", "note", "history"), each with its text number.
class RecordingAsker : public CRunAsker {
public:
    LinkAnswer AskRetry(CWnd*, LinkStep step, const CString& text, const CString&) override
    {
        Hear("retry " + std::to_string(static_cast<int>(step)), text);
        const bool retry = retriesLeft > 0;
        retriesLeft -= retry ? 1 : 0;
        return retry ? LinkAnswer::Retry : LinkAnswer::Cancel;
    }
    void PortNotOpened(CWnd*, const CString& text, const CString&) override { Hear("port", text); }
    void TellOutcome(CWnd*, RunMessageKind kind, const CString& text, const CString&) override
    {
        Hear(kind == RunMessageKind::Error     ? "error"
             : kind == RunMessageKind::Warning ? "warning"
                                               : "information",
             text);
    }
    void TellNote(CWnd*, const CString& text, const CString&) override { Hear("note", text); }
    bool WriteWithoutHistory(CWnd*, const CString& reason, const CString&, const CString&) override
    {
        heard.push_back("history: " + reason.str());
        return false;
    }

    int retriesLeft = 0;
    std::vector<std::string> heard;

private:
    void Hear(const std::string& what, const CString& text)
    {
        // By text number, so that the expectation names the text.
        for (int number = 0; number < 1000; ++number) {
            if (text.str() == Texts().GetText(number) && !text.IsEmpty()) {
                heard.push_back(what + " " + std::to_string(number));
                return;
            }
        }
        heard.push_back(what + " ?" + text.str());
    }
};

std::string Heard(const char* what, int number)
{
    return std::string(what) + " " + std::to_string(number);
}

} // namespace

// Given an asker that is not the boxes, neither the run nor the link's
// sessions reach the message-box seam: each question and message goes to
// the asker, with its kind, and the answers steer the run as the buttons do.
TEST(RunCommands, EveryQuestionAndMessageGoesToTheRunsAskerAndNoneToABox)
{
    const Bytes restored = OfModel(Bytes(OptionRecord::kSize, 0x5A));
    const std::string retryRecord = "retry " + std::to_string(static_cast<int>(LinkStep::Record));
    const std::string retryWrite = "retry " + std::to_string(static_cast<int>(LinkStep::Write));
    const std::string retryConnect = "retry " + std::to_string(static_cast<int>(LinkStep::Connect));
    const struct {
        const char* name;
        std::function<void(Bench&, RecordingAsker&)> setup;
        UpgradeOutcome outcome;
        std::vector<std::string> heard;
    } cases[] = {
        {"written", nullptr, UpgradeOutcome::Written, {Heard("information", TextNo::kRecordWritten)}},
        {"refused by the transceiver",
         [](Bench& b, RecordingAsker&) { b.fake.writeAnswer = 0x15; },
         UpgradeOutcome::Refused,
         {Heard("information", TextNo::kRecordRefused)}},
        {"a refused model",
         [](Bench& b, RecordingAsker&) { Transceiver(b.fake, "QM-3390X"); },
         UpgradeOutcome::RefusedModel,
         {Heard("error", TextNo::kRefusedModel)}},
        {"the port missing",
         [](Bench& b, RecordingAsker&) { b.fake.missingPorts.insert("COM1"); },
         UpgradeOutcome::PortNotOpened,
         {Heard("port", TextNo::kPortNotOpened)}},
        {"no transceiver: the connection asked about once",
         [](Bench& b, RecordingAsker&) { b.fake.kind = Kind::None; },
         UpgradeOutcome::LinkFailed,
         {retryConnect + " " + std::to_string(TextNo::kLinkFailed)}},
        {"the record read fails twice: retried once, then cancelled",
         [](Bench& b, RecordingAsker& a) {
             b.fake.Script(Command::RecordRead, FakeTransceiver::Answer(Fault::Silence));
             b.fake.Script(Command::RecordRead, FakeTransceiver::Answer(Fault::Silence));
             a.retriesLeft = 1;
         },
         UpgradeOutcome::LinkFailed,
         {retryRecord + " " + std::to_string(TextNo::kLinkFailed),
          retryRecord + " " + std::to_string(TextNo::kLinkFailed)}},
        {"the write frame unanswered once, retried: written",
         [](Bench& b, RecordingAsker& a) {
             b.fake.Script(Command::RecordWrite, FakeTransceiver::Answer(Fault::Silence));
             a.retriesLeft = 1;
         },
         UpgradeOutcome::Written,
         {retryWrite + " " + std::to_string(TextNo::kLinkFailed),
          Heard("information", TextNo::kRecordWritten)}},
        {"the history cannot keep the record: asked, No",
         [](Bench& b, RecordingAsker&) { b.history.failuresLeft = 1; },
         UpgradeOutcome::HistoryUnavailable,
         {"history: C:\\app\\History\\upgrades.csv: The process cannot access the file (error 32)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        RecordingAsker asker;
        if (c.setup)
            c.setup(b, asker);
        CUpgradeRun run({b.link, Texts(), asker, nullptr, b.dataFile, b.files, &b.journal});
        EXPECT_EQ(run.Restore(1, restored.data(), {History::RestoreRecordSource()}, nullptr).outcome,
                  c.outcome);
        EXPECT_EQ(asker.heard, c.heard);
        EXPECT_TRUE(b.boxes.shown.empty()) << b.boxes.shown.front().text;
        b.ExpectLeftAlone();
    }
}

TEST(RunCommands, AMissingLocationIsAWarningToTheAsker)
{
    Bench b;
    RecordingAsker asker;
    CUpgradeRun run({b.link, Texts(), asker, nullptr, b.dataFile, b.files, &b.journal});
    TempFolder temp;
    EXPECT_EQ(run.UpgradeFromFile(1, (temp / "gone.ENH").c_str()).outcome, UpgradeOutcome::LocationMissing);
    EXPECT_EQ(asker.heard, std::vector<std::string>{Heard("warning", TextNo::kNoOptionFile)});
    EXPECT_TRUE(b.boxes.shown.empty());
    EXPECT_TRUE(b.fake.opens.empty()) << "no port touched";
}
