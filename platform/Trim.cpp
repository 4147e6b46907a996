#include "platform/Trim.h"

namespace platform {

QString TrimText(const QString &s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return (b == 0 && e == s.size()) ? s : s.mid(b, e - b);
}

} // namespace platform
