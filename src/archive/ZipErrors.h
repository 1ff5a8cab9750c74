// Exceptions of the zip component. Their messages are the component's own
// English texts; callers turn them into the program's messages.
#pragma once

#include "platform/rtl/Exceptions.h"

namespace zorbel {

ZORBEL_EXCEPTION(EBadZipFile, Exception);             // no usable directory, damaged headers
ZORBEL_EXCEPTION(EIncompleteZip, Exception);          // no end record ("Incomplete Zip File")
ZORBEL_EXCEPTION(EFatalUnzipError, Exception);        // archive ends inside an entry's data
ZORBEL_EXCEPTION(EUserCanceled, Exception);           // a dialog or handler cancelled
ZORBEL_EXCEPTION(EBiggerThanUncompressed, Exception); // output passes the stated size

} // namespace zorbel
