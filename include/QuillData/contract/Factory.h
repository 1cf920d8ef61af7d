#pragma once
// The factory sits above every backend (QuillData/registry/Factory.h); this name stays for
// the programs that include it.
#include "QuillData/registry/Factory.h"
