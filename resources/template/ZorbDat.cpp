// Reads the embedded template data set archive out of the program's resources.
#include "template/ZorbDat.h"

#include <QFile>

namespace zorbel {

QByteArray ZorbDatArchive()
{
    QFile resource(QStringLiteral(":/ZorbDat"));
    if (!resource.open(QIODevice::ReadOnly))
        return {};
    return resource.readAll();
}

} // namespace zorbel
