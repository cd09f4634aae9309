#include "upgrade/FileErrorTexts.h"

#include "text/LanguageTable.h"

static_assert(TextNo::kFileErrorEndOfFile - TextNo::kFileErrorNone + 1 == kFileErrorCauseCount,
              "one text per file-error cause");

FileErrorTexts FileErrorTextsFrom(CLanguageTable& texts)
{
    FileErrorTexts result;
    for (int cause = 0; cause < kFileErrorCauseCount; ++cause)
        result.descriptions[cause] = texts.GetText(TextNo::kFileErrorNone + cause);
    result.unnamedFile = texts.GetText(TextNo::kFileUnnamed);
    result.caption = texts.GetText(TextNo::kCaptionError);
    return result;
}
