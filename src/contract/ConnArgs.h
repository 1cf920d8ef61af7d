#pragma once
// A backend's check of the ConnArgs its OpenDB is given.
#include <vector>

#include "QuillData/contract/ConnLayout.h"

namespace QuillData {

// Refuses values of another number than the layout's (QuillError, ErrorKind::RefusedArgument)
// with a sentence that names the layout.
void RequireConnArgs(const ConnLayout& layout, const std::vector<Variant>& values);

}  // namespace QuillData
