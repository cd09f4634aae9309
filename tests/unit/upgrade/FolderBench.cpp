// Benchmark (not a test): a Folder run's option steps over 1,000 option files,
// 100 of them for the radio's model, next to a plain loop that makes the same
// file calls (enumeration, header reads, size and whole-file reads, the same
// number of times) without the option logic, the message pause or the wait
// cursor. Run under Wine with a display:
//
//     xvfb-run -a scripts/wine-run build/win32/tests/unit/upgrade/upgrade_folder_bench.exe [rounds]
#include "app/Globals.h"
#include "app/UpgradeDlg.h"
#include "files/FindHandle.h"
#include "res/resource.h"
#include "tools/enhtool/EnhFile.h"
#include "upgrade/OptionFormat.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kFiles = 1000;
constexpr int kForModel = 100;
constexpr int kEntries = 20;

double Now()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::string MakeFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder =
        std::string(temp) + "orvelle-folder-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int i = 0; i < kFiles; ++i) {
        EnhDescription d;
        // Every tenth file is for the radio's model; the others for ten others.
        d.model = i % (kFiles / kForModel) == 0 ? "QX-5100" : "QX-52" + std::to_string(i % 10) + "0";
        d.minVersion = "V1.00";
        for (int e = 0; e < kEntries; ++e) {
            char code[9];
            std::snprintf(code, sizeof code, "%08X", e == kEntries - 1 ? 0x102 : 0x1000 + e);
            d.entries.push_back(MakeEnhEntry(code, 3, "0FFFFFFFFFFFFFFF"));
        }
        const std::vector<unsigned char> bytes = BuildEnhFile(d);
        char name[32];
        std::snprintf(name, sizeof name, "\\opt%04d.ENH", i);
        std::ofstream(folder + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    return folder;
}

void RemoveFolder(const std::string& folder)
{
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "\\opt%04d.ENH", i);
        DeleteFileA((folder + name).c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

// The same file calls as the Folder steps, and nothing else.
double PlainRun(CDataFile& files, const std::string& folder, const unsigned char* identity)
{
    const double start = Now();
    std::vector<CString> list;
    CString pattern;
    pattern.Format("%s\\*.%s", folder.c_str(), "ENH");
    CFindHandle search;
    _finddata_t entry = {};
    std::vector<unsigned char> header(OptionFile::kHeaderSize);
    while (files.ExistOptionFileToModel(&pattern, &entry, search.Address())) {
        CString path;
        path.Format("%s\\%s", folder.c_str(), entry.name);
        unsigned long read = 0;
        if (files.DataFileOpen(nullptr, header.data(), OptionFile::kHeaderSize, path, &read) &&
            std::memcmp(&header[OptionFile::kModelName], identity, kModelNameSize) == 0)
            list.push_back(path);
    }
    for (int step = 0; step < 3; ++step) {
        for (const CString& path : list) {
            std::vector<unsigned char> bytes(files.GetFileSize(path) + 1);
            unsigned long read = 0;
            files.DataFileOpen(nullptr, bytes.data(), static_cast<unsigned long>(bytes.size() - 1), path,
                               &read);
        }
    }
    if (list.size() != kForModel)
        std::fprintf(stderr, "plain run found %zu files\n", list.size());
    return Now() - start;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 9;
    const std::string folder = MakeFolder();

    CUpgradeDlg dlg;
    HWND window = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    HWND folderButton = CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_AUTORADIOBUTTON, 0, 0, 10, 10, window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FOLDER_MODE)),
                                        GetModuleHandleA(nullptr), nullptr);
    if (!window || !folderButton) {
        std::fprintf(stderr, "no window: run with a display\n");
        return 1;
    }
    dlg.m_hWnd = window;
    CheckDlgButton(window, IDC_FOLDER_MODE, BST_CHECKED);
    dlg.m_strFolderPath = folder.c_str();
    dlg.m_strVersion = "V1.20";

    unsigned char identity[IdentityBlock::kSize] = {'Q', 'X', '-', '5', '1', '0', '0'};
    std::array<unsigned char, OptionRecord::kSize> record{};
    std::memcpy(&record[OptionRecord::kModelName], identity, kModelNameSize);
    const unsigned char code[4] = {0x00, 0x00, 0x01, 0x02};
    std::memcpy(&record[OptionRecord::kOptionCode], code, 4);
    record[OptionRecord::kOptionBytes] = 0x3F;

    std::vector<double> logic, plain;
    CDataFile files;
    for (int r = 0; r < rounds; ++r) {
        std::array<unsigned char, OptionRecord::kSize> r1 = record;
        const double start = Now();
        const int collected = dlg.CollectOptionFiles(identity);
        const int code = dlg.ApplyOptions(r1.data());
        logic.push_back(Now() - start);
        if (!collected || code != kOptionsMerged || dlg.m_OptionFileList.size() != kForModel)
            std::fprintf(stderr, "unexpected: collected %d, code %d, %zu files\n", collected, code,
                         dlg.m_OptionFileList.size());
        plain.push_back(PlainRun(files, folder, identity));
    }
    dlg.m_hWnd = nullptr;
    DestroyWindow(window);
    RemoveFolder(folder);

    const double l = Median(logic), p = Median(plain);
    std::printf("%d files (%d for the model, %d entries each), %d rounds, median of each:\n", kFiles,
                kForModel, kEntries, rounds);
    std::printf("  collection + ApplyOptions  %8.1f ms\n", l);
    std::printf("  plain reads, same calls    %8.1f ms\n", p);
    std::printf("  ratio                      %8.2f\n", l / p);
    return 0;
}
