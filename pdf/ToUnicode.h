#pragma once
#include "pdf/CharMap.h"

#include <QByteArrayView>

namespace pdf {

// Reads the bfchar and bfrange blocks of one ToUnicode stream into map.
void ParseToUnicodeCMap(QByteArrayView stream, CharMap &map);

} // namespace pdf
