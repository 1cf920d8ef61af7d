#pragma once
// A server as a side of the transfer, reached through a provider's session and spoken to in
// its dialect.
#include <memory>
#include <string>

#include "maintenance/dialect/Dialect.h"
#include "maintenance/transfer/Side.h"

namespace QuillData::transfer {

std::unique_ptr<Side> OpenServer(const std::wstring& connection, const dialect::Dialect& dialect);

}  // namespace QuillData::transfer
