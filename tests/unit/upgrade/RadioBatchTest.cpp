// Radio after radio, in process under Wine against the link's fake
// transceiver on its virtual clock: a fleet of radios that come and go on
// the one port as the batch pauses between its connection attempts. What the
// loop decides (waiting, a radio gone, the same radio again, failures that go
// on, stopping, counting), what it writes, the history rows it leaves and
// what it asks the program.
#include "upgrade/RadioBatch.h"

#include "files/DataFile.h"
#include "framework/Hex.h"
#include "link/RadioCom.h"
#include "tests/support/DevelopmentTexts.h"
#include "tests/support/FrameBytes.h"
#include "tests/support/MemoryHistory.h"
#include "tests/support/MemoryOptionFiles.h"
#include "tests/support/SampleTransceiver.h"
#include "tests/support/TempFolder.h"
#include "text/Csv.h"
#include "tools/enhtool/EnhFile.h"
#include "upgrade/UpgradeHistory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = FakeTransceiver::Bytes;

constexpr std::uint64_t kForever = ~std::uint64_t{0};

// One radio of the fleet: who it is, how it answers, and when it comes and
// goes. It arrives `gapMs` after the one before it has gone (the first:
// after the batch begins) and stays `stayMs` after its row was made
// (kForever: until the test ends).
struct Radio {
    const char* model = kSampleModel;
    unsigned char serial = 1; // identity byte: the same serial is the same radio
    unsigned char writeAnswer = 0x06;
    std::uint64_t gapMs = 1500;
    std::uint64_t stayMs = 2500;
    // Connection attempts it leaves unanswered once its row is made, as a
    // slow radio might.
    int missedAttempts = 0;
};

// The fleet on the fake: the radio on the line follows the virtual clock and
// the rows, and is changed only while the batch pauses (between attempts,
// with the port closed). A radio keeps its record while it is away.
class Fleet {
public:
    Fleet(FakeTransceiver& fake, std::vector<Radio> radios) : m_fake(fake), m_radios(std::move(radios))
    {
        m_fake.kind = FakeTransceiver::Kind::None;
        m_arrival = m_fake.Now() + (m_radios.empty() ? 0 : m_radios[0].gapMs);
    }

    // The batch's pause: time passes, and radios come and go.
    void Pause(int milliseconds)
    {
        pauses.push_back(milliseconds);
        m_fake.SetNowUs(m_fake.NowUs() + static_cast<std::uint64_t>(milliseconds) * 1000);
        Follow();
    }

    // The batch made a row for the radio on the line.
    void RowMade()
    {
        if (m_current < 0)
            return;
        Radio& radio = m_radios[static_cast<std::size_t>(m_current)];
        m_leave = radio.stayMs == kForever ? kForever : m_fake.Now() + radio.stayMs;
        for (int i = 0; i < radio.missedAttempts; ++i)
            m_fake.Script(FakeTransceiver::Command::Program,
                          FakeTransceiver::Answer(FakeTransceiver::Fault::Silence));
    }

    bool OnLine() const { return m_current >= 0; }

    std::vector<int> pauses;

private:
    void Follow()
    {
        const std::uint64_t now = m_fake.Now();
        if (m_current >= 0 && m_leave != kForever && now >= m_leave) {
            m_records[m_radios[static_cast<std::size_t>(m_current)].serial] = m_fake.record;
            m_fake.kind = FakeTransceiver::Kind::None;
            m_fake.PowerOff();
            ++m_next;
            m_current = -1;
            if (m_next < m_radios.size())
                m_arrival = now + m_radios[m_next].gapMs;
        }
        if (m_current < 0 && m_next < m_radios.size() && now >= m_arrival) {
            const Radio& radio = m_radios[m_next];
            SampleIdentity(m_fake, radio.model);
            m_fake.identity[kIdentityMarkOffset + 1] = radio.serial;
            const auto kept = m_records.find(radio.serial);
            if (kept != m_records.end()) {
                m_fake.record = kept->second;
            } else {
                m_fake.record = Bytes(OptionRecord::kSize, 0x11);
                FitSampleRecord(m_fake, radio.model);
            }
            m_fake.writeAnswer = radio.writeAnswer;
            m_current = static_cast<int>(m_next);
            m_leave = kForever;
        }
    }

    FakeTransceiver& m_fake;
    std::vector<Radio> m_radios;
    std::size_t m_next = 0;
    int m_current = -1;
    std::uint64_t m_arrival = 0;
    std::uint64_t m_leave = kForever;
    std::map<unsigned char, Bytes> m_records;
};

// The program: what the loop asks it, shows it, and when it asks to stop.
class Program : public CRunAsker, public CBatchObserver {
public:
    LinkAnswer AskRetry(CWnd*, LinkStep step, const CString&, const CString&) override
    {
        retries.push_back(step);
        return LinkAnswer::Cancel;
    }
    void PortNotOpened(CWnd*, const CString& text, const CString&) override { told.push_back(text.str()); }
    void TellOutcome(CWnd*, RunMessageKind, const CString& text, const CString&) override
    {
        told.push_back(text.str());
    }
    void TellNote(CWnd*, const CString& text, const CString&) override { told.push_back(text.str()); }
    bool WriteWithoutHistory(CWnd*, const CString&, const CString&, const CString&) override
    {
        ++historyQuestions;
        return false;
    }
    void Status(BatchState state, int, int seconds) override { statuses.push_back({state, seconds}); }
    void RadioDone(const BatchRow& row) override
    {
        rows.push_back(row);
        if (onRow)
            onRow(row);
    }

    struct Shown {
        BatchState state;
        int seconds;
    };
    std::vector<LinkStep> retries;
    std::vector<std::string> told;
    int historyQuestions = 0;
    std::vector<Shown> statuses;
    std::vector<BatchRow> rows;
    std::function<void(const BatchRow&)> onRow;
    std::function<bool()> stop;
};

// An option file for the sample model that sets bits the sample record lacks.
std::string PutOptionFile(CMemoryOptionFiles& files, const TempFolder& folder)
{
    EnhDescription d;
    d.model = kSampleModel;
    d.minVersion = "V1.00";
    d.entries = {MakeEnhEntry("00000102", 3, "0FFFFFFFFFFFFFF0")};
    const std::string path = folder / "a.ENH";
    std::ofstream(path, std::ios::binary) << "x";
    files.Put(path, BuildEnhFile(d));
    return path;
}

// One batch's world.
struct Bench {
    explicit Bench(std::vector<Radio> radios) : fleet(fake, std::move(radios))
    {
        path = PutOptionFile(files, folder);
        history.time = {2026, 12, 11, 9, 0, 0};
        program.onRow = [this](const BatchRow&) { fleet.RowMade(); };
    }

    BatchEnding Run(int count, const UpgradeRunMode& runMode = {})
    {
        UpgradeEnvironment run{link,     DevelopmentTexts(),
                               program,  nullptr,
                               dataFile, files,
                               &journal, [this] { return Runaway() || (program.stop && program.stop()); }};
        BatchEnvironment environment{run, fake.Clock(), [this](int ms) { fleet.Pause(ms); },
                                     [this] { return history.Now(); }, program};
        BatchMode mode;
        mode.port = 1;
        mode.folderMode = false;
        mode.location = path.c_str();
        mode.count = count;
        mode.run = runMode;
        CRadioBatch batch(environment, mode);
        const BatchEnding ending = batch.Run();
        EXPECT_FALSE(Runaway()) << "the batch never ended by itself";
        summary = batch.Summary();
        EXPECT_EQ(batch.Rows().size(), program.rows.size());
        return ending;
    }

    // A batch that waits for ever fails its test instead of hanging it.
    bool Runaway() const { return fleet.pauses.size() > 2000; }

    std::vector<BatchVerdict> Verdicts() const
    {
        std::vector<BatchVerdict> verdicts;
        for (const BatchRow& row : program.rows)
            verdicts.push_back(row.verdict);
        return verdicts;
    }
    std::vector<unsigned char> Serials() const
    {
        std::vector<unsigned char> serials;
        for (const BatchRow& row : program.rows)
            serials.push_back(row.result.identity[kIdentityMarkOffset + 1]);
        return serials;
    }

    FakeTransceiver fake; // before the link: it closes through the fake
    Fleet fleet;
    Program program;
    CRadioCom link{fake.Apis()};
    CDataFile dataFile;
    CMemoryOptionFiles files;
    TempFolder folder;
    std::string path;
    CMemoryHistory history;
    CHistoryJournal journal{history, History::kProgramConsole, 1};
    BatchSummary summary;
};

Radio Serial(unsigned char serial)
{
    Radio radio;
    radio.serial = serial;
    return radio;
}

} // namespace

// What the loop makes of a fleet: one row per radio that came, in the order
// they came; the same radio again is not written twice; a radio that fails
// or is refused does not end the batch.
TEST(RadioBatch, Fleets)
{
    using V = BatchVerdict;
    Radio refused = Serial(4);
    refused.model = "QM-3260X";
    Radio nak = Serial(5);
    nak.writeAnswer = 0x15;
    Radio slow = Serial(6);
    slow.missedAttempts = 1; // one unanswered attempt is not a radio gone
    slow.stayMs = 4000;
    Radio quick = Serial(2);
    quick.gapMs = 0; // plugged in as soon as the one before has gone
    struct Case {
        const char* name;
        std::vector<Radio> radios;
        int count;
        std::vector<V> verdicts;
        std::vector<unsigned char> serials;
        std::vector<std::string> history;
        int recordsWritten;
    };
    const Case cases[] = {
        {"five radios: the first again, a refused model",
         {Serial(1), Serial(2), Serial(1), refused, Serial(3)},
         5,
         {V::Written, V::Written, V::SkippedAsDone, V::Refused, V::Written},
         {1, 2, 1, 4, 3},
         {"pending", "written", "pending", "written", "pending", "written"},
         3},
        {"a refused write stays with its radio",
         {nak, Serial(2)},
         2,
         {V::Failed, V::Written},
         {5, 2},
         {"pending", "refused", "pending", "written"},
         2},
        {"a slow answer is not taken for a swap",
         {slow, Serial(2)},
         2,
         {V::Written, V::Written},
         {6, 2},
         {"pending", "written", "pending", "written"},
         2},
        {"a radio plugged in at once after the last one left",
         {Serial(1), quick},
         2,
         {V::Written, V::Written},
         {1, 2},
         {"pending", "written", "pending", "written"},
         2},
        {"a radio that failed before may come back and be done",
         {nak,
          [] {
              // Away long enough to be missed twice.
              Radio again = Serial(5);
              again.gapMs = 5000;
              return again;
          }()},
         2,
         {V::Failed, V::Written},
         {5, 5},
         {"pending", "refused", "pending", "written"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b(c.radios);
        EXPECT_EQ(b.Run(c.count), BatchEnding::Counted);
        EXPECT_EQ(b.Verdicts(), c.verdicts);
        EXPECT_EQ(b.Serials(), c.serials);
        EXPECT_EQ(b.history.Column(History::kOutcome), c.history);
        EXPECT_EQ(static_cast<int>(b.fake.recordsWritten.size()), c.recordsWritten);
        // Waiting and leaving are the loop's own business: nobody was asked,
        // nothing was shown.
        EXPECT_TRUE(b.program.retries.empty());
        EXPECT_EQ(b.program.historyQuestions, 0);
        EXPECT_TRUE(b.program.told.empty());
        EXPECT_EQ(b.summary.Total(), c.count);
        for (std::size_t i = 0; i < b.program.rows.size(); ++i)
            EXPECT_EQ(b.program.rows[i].number, static_cast<int>(i) + 1);
        EXPECT_FALSE(b.fake.InProgrammingMode());
        EXPECT_EQ(b.fake.OpenHandles(), 0);
    }
}

// The fleet of five in detail: the summary, the row's message, the attempts
// about a second apart, and the end right after the last row.
TEST(RadioBatch, FiveRadios)
{
    Radio refused = Serial(4);
    refused.model = "QM-3260X";
    Radio last = Serial(3);
    last.stayMs = kForever;
    Bench b({Serial(1), Serial(2), Serial(1), refused, last});
    ASSERT_EQ(b.Run(5), BatchEnding::Counted);
    EXPECT_EQ(b.summary.written, 3);
    EXPECT_EQ(b.summary.skippedAsDone, 1);
    EXPECT_EQ(b.summary.refused, 1);
    EXPECT_EQ(b.summary.failed, 0);
    EXPECT_EQ(b.program.rows[3].message, DevelopmentTexts().GetText(TextNo::kRefusedModel));
    EXPECT_EQ(b.program.rows[0].message, DevelopmentTexts().GetText(TextNo::kRecordWritten));
    EXPECT_EQ(b.program.rows[2].result.outcome, UpgradeOutcome::OtherTransceiver);
    EXPECT_FALSE(b.program.rows[2].result.recordRead); // the done radio is not even read
    // No pause is longer than the attempt interval.
    for (int pause : b.fleet.pauses)
        EXPECT_LE(pause, CRadioBatch::kAttemptIntervalMs);
    // The last radio is still on the line: the batch did not wait for it.
    EXPECT_TRUE(b.fleet.OnLine());
    const std::string csv = BatchReportCsv(b.program.rows).str();
    CCsvReader reader(csv.data(), csv.size());
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> fields;
    while (reader.Next(&fields))
        records.push_back(fields);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0],
              std::vector<std::string>(std::begin(kBatchReportColumns), std::end(kBatchReportColumns)));
    EXPECT_EQ(records[3][10], kSkippedAsDoneWord);
    EXPECT_EQ(records[4][10], "refused-model");
    EXPECT_EQ(records[1][10], "written");
    EXPECT_EQ(records[1][4], HexLower(b.program.rows[0].result.identity.data(), IdentityBlock::kSize).str());
    EXPECT_EQ(records[1][3], kSampleModel);
}

// Stopping: while waiting the batch ends at the next look; during a radio
// only where a single run may stop, so a stop asked for while the write
// frame goes out leaves that radio written.
TEST(RadioBatch, Stopping)
{
    {
        SCOPED_TRACE("while waiting for the first radio");
        Radio late = Serial(1);
        late.gapMs = 60000;
        Bench b({late});
        const std::uint64_t begun = b.fake.Now();
        b.program.stop = [&b, begun] { return b.fake.Now() >= begun + 5000; };
        EXPECT_EQ(b.Run(0), BatchEnding::StopAsked);
        EXPECT_TRUE(b.program.rows.empty());
        EXPECT_LT(b.fake.Now(), begun + 5000 + 2000); // one attempt at most after the stop
        EXPECT_TRUE(b.history.lines.empty());
        // The status counted the seconds.
        ASSERT_FALSE(b.program.statuses.empty());
        EXPECT_EQ(b.program.statuses.back().state, BatchState::WaitingForRadio);
        EXPECT_GE(b.program.statuses.back().seconds, 4);
    }
    {
        SCOPED_TRACE("while the write frame goes out");
        Bench b({Serial(1), Serial(2)});
        bool stop = false;
        b.fake.onWrite = [&stop](const Bytes& chunk) {
            // The frame's three lead bytes and the record's, in one call.
            stop = stop || chunk.size() == 3 + OptionRecord::kSize;
        };
        b.program.stop = [&stop] { return stop; };
        EXPECT_EQ(b.Run(0), BatchEnding::StopAsked);
        ASSERT_EQ(b.program.rows.size(), 1u);
        EXPECT_EQ(b.program.rows[0].verdict, BatchVerdict::Written);
        EXPECT_EQ(b.fake.recordsWritten.size(), 1u);
        EXPECT_FALSE(b.fake.InProgrammingMode());
    }
    {
        SCOPED_TRACE("after the record was read");
        Bench b({Serial(1)});
        bool stop = false;
        b.fake.onHeard = [&stop](FakeTransceiver::Command command) {
            stop = stop || command == FakeTransceiver::Command::RecordRead;
        };
        b.program.stop = [&stop] { return stop; };
        EXPECT_EQ(b.Run(0), BatchEnding::StopAsked);
        ASSERT_EQ(b.program.rows.size(), 1u);
        EXPECT_EQ(b.program.rows[0].verdict, BatchVerdict::Stopped);
        EXPECT_TRUE(b.fake.recordsWritten.empty());
        EXPECT_EQ(b.history.Column(History::kOutcome), std::vector<std::string>{"not-upgraded"});
    }
}

// A history that cannot keep the record read ends the batch with that radio
// unwritten, after the program's question; the port missing is waited out.
TEST(RadioBatch, HistoryAndPort)
{
    {
        SCOPED_TRACE("history unavailable");
        Bench b({Serial(1), Serial(2)});
        b.history.failuresLeft = 1000;
        EXPECT_EQ(b.Run(0), BatchEnding::HistoryUnavailable);
        ASSERT_EQ(b.program.rows.size(), 1u);
        EXPECT_EQ(b.program.rows[0].result.outcome, UpgradeOutcome::HistoryUnavailable);
        EXPECT_EQ(b.program.historyQuestions, 1);
        EXPECT_TRUE(b.fake.recordsWritten.empty());
    }
    {
        SCOPED_TRACE("port missing, then back");
        Bench b({Serial(1)});
        b.fake.PullCable(ERROR_FILE_NOT_FOUND);
        int pauses = 0;
        b.program.onRow = nullptr;
        b.program.stop = [&] {
            if (++pauses == 20)
                b.fake.PlugCable();
            return false;
        };
        EXPECT_EQ(b.Run(1), BatchEnding::Counted);
        ASSERT_EQ(b.program.rows.size(), 1u);
        EXPECT_EQ(b.program.rows[0].verdict, BatchVerdict::Written);
        EXPECT_EQ(b.program.statuses.front().state, BatchState::PortMissing);
        EXPECT_TRUE(b.program.told.empty());
    }
    {
        SCOPED_TRACE("option file gone");
        Bench b({Serial(1)});
        DeleteFileA(b.path.c_str());
        EXPECT_EQ(b.Run(0), BatchEnding::LocationMissing);
        EXPECT_EQ(b.program.told.size(), 1u);
        EXPECT_TRUE(b.fake.opens.empty());
    }
}

TEST(RadioBatch, PrintableIdentity)
{
    struct Case {
        const char* name;
        Bytes identity;
        const char* text;
    };
    Bytes labelled = Padded("QX-5100", IdentityBlock::kSize);
    const Bytes serial = Padded("SN00012345", 20);
    std::copy(serial.begin(), serial.end(), labelled.begin() + 12);
    Bytes binary(IdentityBlock::kSize, 0);
    binary[0] = 0x01;
    binary[1] = 'A';
    binary[2] = 0xFF;
    const Case cases[] = {
        {"model and serial", labelled, "QX-5100     SN00012345"},
        {"no printable byte", Bytes(IdentityBlock::kSize, 0), ""},
        {"control and high bytes", binary, ".A."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PrintableIdentity(c.identity.data()), c.text);
    }
}
