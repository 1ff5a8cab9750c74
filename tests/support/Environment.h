// Environment variables set for a part of a test and restored afterwards
// (a null value unsets one): a home, data or configuration folder of a
// test's choosing, such as one whose name is not UTF-8.
#pragma once

#include <QByteArray>
#include <QList>

#include <initializer_list>
#include <utility>

namespace zorbel::test {

class TEnvironment {
public:
    TEnvironment(std::initializer_list<std::pair<const char *, QByteArray>> Values)
    {
        for (const auto &[name, value] : Values) {
            saved_.append({name, qgetenv(name)});
            Set(name, value);
        }
    }
    ~TEnvironment()
    {
        for (const auto &[name, value] : saved_)
            Set(name, value);
    }
    TEnvironment(const TEnvironment &) = delete;
    TEnvironment &operator=(const TEnvironment &) = delete;

private:
    static void Set(const char *Name, const QByteArray &Value)
    {
        if (Value.isNull())
            qunsetenv(Name);
        else
            qputenv(Name, Value);
    }
    QList<std::pair<const char *, QByteArray>> saved_;
};

} // namespace zorbel::test
