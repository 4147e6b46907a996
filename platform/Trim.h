#pragma once
#include <QString>

namespace platform {

// Removes every character up to U+0020 at both ends. Unlike Qt's own trimming
// it keeps the ideographic space U+3000, which the text panes use for layout.
QString TrimText(const QString &s);

} // namespace platform
