#pragma once
// Everything a host needs: the interface, the records, the collection, the companions, the
// factory, the value conversions, and the backends and maintenance class this build holds.
#include "QuillData/Config.h"
#include "QuillData/contract/ByRef.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Tessera.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/Transaction.h"
#include "QuillData/contract/Variant.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/registry/Factory.h"
#if QUILLDATA_WITH_MAINTENANCE
#include "QuillData/maintenance/clsLumenData.h"
#endif
#if QUILLDATA_WITH_MSSQL
#include "QuillData/mssql/clsQuillData_MSSQL.h"
#endif
#if QUILLDATA_WITH_SQLITE
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#endif
