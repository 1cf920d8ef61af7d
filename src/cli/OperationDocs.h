#pragma once
// The operations' documentation, which lives once, as comments beside each operation's line
// in include/QuillData/contract/Operations.inc: `quilldata operations --doc NAME` prints one
// operation's, `quilldata operations --markdown` writes docs/operations.md.
#include <string>
#include <string_view>

#include "cli/Operations.h"

namespace QuillData::cli {

// Operations.inc as it was when the tool was built.
std::string_view OperationsSource();

// The comment above the operation's line, as text (empty when it has none).
std::string OperationComment(const OperationEntry& op);
// One operation for people: signature, its comment (for a table reader: table, record class
// and key), and the server's limits on its arguments.
std::string OperationDoc(const OperationEntry& op);
// docs/operations.md: every operation by family, and the server's limits in one table.
std::string OperationsMarkdown();

}  // namespace QuillData::cli
