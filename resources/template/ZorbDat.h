// The template data set archive that the build embeds (resource ":/ZorbDat"):
// a zip of the data set's database file with the seven tables, made by
// MakeTemplate.cpp from the program's own table definitions.
#pragma once

#include <QByteArray>

namespace zorbel {

// The archive's bytes; empty when the resource is missing.
QByteArray ZorbDatArchive();

} // namespace zorbel
