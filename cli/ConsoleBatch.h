// upgrade --each in the console: the batch's lines (one per radio on stdout,
// the summary after them), its status on stderr (overwritten in place in a
// console, one line per change into a file or pipe), and the report file,
// replaced whole after every radio so that an old one is never half
// overwritten. The loop itself is upgrade/RadioBatch.h.
#pragma once

#include "framework/CString.h"
#include "text/Json.h"
#include "upgrade/RadioBatch.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

class CLanguageTable;
struct ConsoleApi;

// A radio's line (without its line end): number, time, port, model, identity
// as text, version, option bytes before -> after, outcome word, and whether
// it was read back as written; "-" for what the radio did not tell.
CString BatchRowLine(const BatchRow& row, CLanguageTable& texts);
// The summary: how many rows, and how many of each verdict.
CString BatchSummaryLine(const BatchSummary& summary, CLanguageTable& texts);
// What the loop waits for, and how long it has.
CString BatchStatusLine(BatchState state, int port, int seconds, CLanguageTable& texts);

// A row as --json has it: the report's columns, by name.
CJsonObject BatchRowJson(const BatchRow& row);
CJsonObject BatchSummaryJson(const BatchSummary& summary);
// The report file with --json: {"rows": [...], "summary": {...}}.
std::string BatchReportJson(const std::vector<BatchRow>& rows, const BatchSummary& summary);

// The batch as the console shows it: the status on err, each radio's line on
// out (unless the lines are left to --json), the reasons of a radio that
// failed or was refused on err.
class CConsoleBatchView : public CBatchObserver {
public:
    // rowLines: print the radios' lines on out (not with --json).
    CConsoleBatchView(std::FILE* out, std::FILE* err, const ConsoleApi& api, CLanguageTable& texts,
                      bool rowLines);

    void Status(BatchState state, int port, int seconds) override;
    void RadioDone(const BatchRow& row) override;
    // Ends a status line shown in place, so that what follows starts on a
    // line of its own.
    void EndStatus();

private:
    // Removes a status line shown in place.
    void ClearStatus();

    std::FILE* m_out;
    std::FILE* m_err;
    const ConsoleApi& m_api;
    CLanguageTable& m_texts;
    bool m_rowLines;
    bool m_inPlace;       // err is a console: the status is rewritten in place
    bool m_shown = false; // a status line stands in place, without its line end
    std::size_t m_shownLength = 0;
    bool m_told = false; // a state was told before
    BatchState m_state = BatchState::WaitingForRadio;
    CString m_line; // the status line last written
};
