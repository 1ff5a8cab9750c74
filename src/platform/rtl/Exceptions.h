// Exception classes of the runtime. Every failure in Zorbel is a C++ exception
// derived from Exception, carrying its message as a QString. EAbort is the
// silent abort: the event dispatcher swallows it without showing anything.
#pragma once

#include <QString>
#include <exception>

namespace zorbel {

class Exception : public std::exception {
public:
    explicit Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}
    ~Exception() override = default;

    const QString &Message() const noexcept { return message_; }
    void SetMessage(const QString &message)
    {
        message_ = message;
        utf8_ = message_.toUtf8();
    }
    const char *what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// Declares an exception class deriving from Base with the base's constructor.
#define ZORBEL_EXCEPTION(Name, Base)                                                               \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
    }

ZORBEL_EXCEPTION(EAbort, Exception);
ZORBEL_EXCEPTION(EConvertError, Exception);
ZORBEL_EXCEPTION(EListError, Exception);
ZORBEL_EXCEPTION(EStreamError, Exception);
ZORBEL_EXCEPTION(EFCreateError, EStreamError);
ZORBEL_EXCEPTION(EFOpenError, EStreamError);
ZORBEL_EXCEPTION(EReadError, EStreamError);
ZORBEL_EXCEPTION(EWriteError, EStreamError);
ZORBEL_EXCEPTION(EDatabaseError, Exception);
ZORBEL_EXCEPTION(EVariantError, Exception);
ZORBEL_EXCEPTION(EInOutError, Exception);
ZORBEL_EXCEPTION(EOutOfMemory, Exception);
ZORBEL_EXCEPTION(ERangeError, Exception);

// Raises the silent abort.
[[noreturn]] inline void Abort() { throw EAbort(QStringLiteral("Operation aborted")); }

} // namespace zorbel
