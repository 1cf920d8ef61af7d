#pragma once
// The whole ADO-style object model.
#include "QuillData/ado/Command.h"
#include "QuillData/ado/Connection.h"
#include "QuillData/ado/ConnectionString.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Parameter.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/ado/Recordset.h"
