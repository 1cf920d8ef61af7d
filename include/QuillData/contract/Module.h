#pragma once
// Module-wide state, one copy per host thread: the companions and the trace switch that
// the last OpenDB on this thread stored, and the user's decimal separator. A host sets the
// companions itself for the calls that have no OpenDB (clsLumenData::MakeDetachCopy).
#include <memory>
#include <string>

#include "QuillData/Export.h"
#include "QuillData/contract/Companions.h"

QUILLDATA_API_BEGIN

namespace QuillData {

QUILLDATA_API_DATA extern thread_local std::shared_ptr<cSP> gSP;
QUILLDATA_API_DATA extern thread_local std::shared_ptr<cE> gE;
QUILLDATA_API_DATA extern thread_local std::wstring gTraceFlag;
QUILLDATA_API_DATA extern thread_local std::wstring gDecSep;
QUILLDATA_API_DATA extern thread_local bool gDecSepDiffers;

// Fills gDecSep (the user's one-character decimal separator, empty when the locale has no
// single-character one) and gDecSepDiffers (gDecSep is not ".") for this thread.
QUILLDATA_API void ReadDecimalSeparator();

}  // namespace QuillData

QUILLDATA_API_END
