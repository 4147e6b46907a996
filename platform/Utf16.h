#pragma once
#include <QString>

namespace platform {

// The text with every unpaired surrogate (half of a pair, standing alone)
// replaced by U+FFFD, unit for unit. Text decoded from files may hold such
// halves; QRegularExpression matches nothing at all in such a text, so search
// this copy instead: positions and lengths are those of the original.
QString ReplaceLoneSurrogates(const QString &text);

} // namespace platform
