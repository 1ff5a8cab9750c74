// Exceptions of the zip reader and of the header records. Their messages are
// the component's own English texts; callers turn them into the program's
// messages. The decoding errors (EFatalUnzipError, EBiggerThanUncompressed)
// belong to the decoding context, ZipDecode.h.
#pragma once

#include "platform/rtl/Exceptions.h"

namespace zorbel {

ZORBEL_EXCEPTION(EBadZipFile, Exception);    // no usable directory, damaged headers
ZORBEL_EXCEPTION(EIncompleteZip, Exception); // no end record ("Incomplete Zip File")
ZORBEL_EXCEPTION(EUserCanceled, Exception);  // a dialog or handler cancelled
ZORBEL_EXCEPTION(EZipNameClash, Exception);  // two files would be stored under one name
ZORBEL_EXCEPTION(EZipOutputLimit, Exception); // an extraction would write more than its bound

} // namespace zorbel
