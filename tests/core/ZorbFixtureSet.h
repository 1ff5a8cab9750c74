// A test fixture holding the Cyrillic fixture data set (ZorbDmFixture.h),
// opened by a data module in its own temporary work folder.
#pragma once

#include "ZorbDmFixture.h"

#include "core/ZorbDm.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {

template <class THostType = TDmHost>
class TFixtureSet : public ::testing::Test {
protected:
    void SetUp() override
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        MakeFixture(dir.path());
        ASSERT_TRUE(dm.OpenDataSet({}).Opened);
    }
    QStringList Select(const QString &text) { return SelectRows(dm.Qtemp, text); }

    QTemporaryDir dir;
    THostType host;
    TDm dm{&host};
};

} // namespace zorbel::test
