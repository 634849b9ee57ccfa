#include "commandcodes.h"

#include "panel/commandcatalogue.h"

#include <algorithm>

namespace koru::sim {

bool isCommandCode(QByteArrayView code)
{
    const auto &catalogue = commandCatalogue();
    return std::any_of(catalogue.begin(), catalogue.end(),
                       [code](const auto &row) { return code == QByteArrayView(row.code); });
}

} // namespace koru::sim
