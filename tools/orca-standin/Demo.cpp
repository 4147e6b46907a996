#include "Demo.h"
namespace standin {
void BuildDemo(const QDate &, QJsonArray *, QHash<QString, QJsonArray> *) {}
} // namespace standin
