#pragma once

#include <QString>

namespace koru::bridge {

// The manual page with its key lists filled in from the tables that the
// file and the command line read: each line `.\" keys: HEADER` (HEADER as a
// section's header reads, "projector ID" or "mqtt") becomes that section's
// keys, one tagged paragraph each.
struct FilledManual
{
    QString page;
    QString error; // a marker that names no section; empty on success
};
FilledManual fillManualKeyLists(const QString &page);

} // namespace koru::bridge
