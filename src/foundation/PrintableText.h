// Text from outside (a file, the service) made safe to show on a terminal: a control character in
// a message could move the cursor, retitle the window or hide the rest of the line.
#pragma once

#include <string>

namespace VexoSource {

// Valid UTF-8 stays as it is, except C0 and C1 control characters and DEL; those and every byte of
// invalid UTF-8 become "\xNN". Longer than maxBytes (counted in the result) is cut and ends "...".
std::string PrintableText(const std::string& text, size_t maxBytes = 80);

}  // namespace VexoSource
