// Fuzz target for the option logic over untrusted option files. The input is
// a 50-byte option record, a 10-byte version answer, one split byte, then the
// bytes of two option files (split where the split byte says). Both modes run
// over them; the logic must stay inside the bytes it was given, return one of
// its codes, and change only the record's option bytes, only on 0 and 8.
#include "tests/support/MemoryOptionFiles.h"
#include "upgrade/OptionFileView.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/OptionLogic.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckRun(int code, const unsigned char* before, const unsigned char* after)
{
    Check(code == 0 || code == 2 || code == 4 || code == 8 || code == 16 || code == 32 || code == 64);
    Check(std::memcmp(before, after, OptionRecord::kOptionBytes) == 0);
    if (code != kOptionsMerged && code != kVersionRecommended)
        Check(std::memcmp(before, after, OptionRecord::kSize) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr std::size_t kFixed = OptionRecord::kSize + kVersionSize + 1;
    if (size < kFixed)
        return 0;
    unsigned char record[OptionRecord::kSize];
    std::memcpy(record, data, sizeof record);
    const unsigned char* answer = data + OptionRecord::kSize;
    const std::string version(reinterpret_cast<const char*>(answer), VersionTextLength(answer));
    const std::size_t rest = size - kFixed;
    const std::size_t split = rest * data[kFixed - 1] / 255;

    CMemoryOptionFiles files;
    files.Put("a.ENH", CMemoryOptionFiles::Bytes(data + kFixed, data + kFixed + split));
    files.Put("b.ENH", CMemoryOptionFiles::Bytes(data + kFixed + split, data + size));

    // The shape judged before any port is opened: within the bytes, and too
    // short exactly when there is no whole header.
    for (const CMemoryOptionFiles::Bytes& file :
         {CMemoryOptionFiles::Bytes(data + kFixed, data + kFixed + split),
          CMemoryOptionFiles::Bytes(data + kFixed + split, data + size)}) {
        const COptionFileView view(file);
        Check((JudgeOptionFileShape(view) == OptionFileShape::TooShort) == !view.HasHeader());
    }
    COptionLogic logic(files);

    unsigned char identity[IdentityBlock::kSize] = {};
    std::memcpy(identity, record + OptionRecord::kModelName, kModelNameSize);
    (void)IsRefusedModelName(identity);
    (void)logic.IsOptionFileForModel("a.ENH", identity);

    unsigned char folder[OptionRecord::kSize];
    std::memcpy(folder, record, sizeof folder);
    const int folderCode =
        logic.ApplyFolderOptions({"a.ENH", "missing.ENH", "b.ENH"}, folder, version.c_str());
    Check(folderCode != kFileUnreadable && folderCode != kOtherModel);
    CheckRun(folderCode, record, folder);

    unsigned char file[OptionRecord::kSize];
    std::memcpy(file, record, sizeof file);
    CheckRun(logic.ApplyFileOptions("b.ENH", file, version.c_str()), record, file);
    return 0;
}
