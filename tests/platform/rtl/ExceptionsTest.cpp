// The exception classes: messages as UTF-8, EAbort and the stream errors' common base.
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

using namespace zorbel;

TEST(Exceptions, MessageSurvivesAsUtf8AndQString)
{
    try {
        throw EConvertError(QStringLiteral("Неверное число"));
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Неверное число"));
        EXPECT_STREQ(e.what(), "Неверное число");
    }
}

TEST(Exceptions, AbortIsCaughtAsEAbortAndStreamErrorsShareABase)
{
    EXPECT_THROW(Abort(), EAbort);
    EXPECT_THROW(throw EFOpenError(QStringLiteral("x")), EStreamError);
}
