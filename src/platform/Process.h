#pragma once
// Ending the host's process at once, as an error companion may ask.

namespace QuillData::platform {

// Flushes the C streams and ends the process with `code`, running no destructors and no
// exit handlers of the host's.
[[noreturn]] void EndProcess(int code);

}  // namespace QuillData::platform
