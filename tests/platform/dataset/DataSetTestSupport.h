// Shared helpers of the dataset tests: a people table over the vector
// dataset, filling, reading IDs in cursor order, an event log, and a data
// link that records what it is told.
#pragma once

#include "VectorDataSet.h"

#include "platform/dataset/DataSource.h"
#include "platform/rtl/Exceptions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorbel::test {

// ID Integer, Name String(10), Amount Float.
class People : public TVectorDataSet {
public:
    People()
    {
        FieldDefs().Add(QStringLiteral("ID"), ftInteger);
        FieldDefs().Add(QStringLiteral("Name"), ftString, 10);
        FieldDefs().Add(QStringLiteral("Amount"), ftFloat);
    }
    void AddRow(int id, const QString &name, double amount)
    {
        Append();
        FieldByName(QStringLiteral("ID"))->SetAsInteger(id);
        FieldByName(QStringLiteral("Name"))->SetAsString(name);
        FieldByName(QStringLiteral("Amount"))->SetAsFloat(amount);
        Post();
    }
    int Id() const { return FieldByName(QStringLiteral("ID"))->AsInteger(); }
    // Rows 1..n named "N<i>" with amount i*10.
    void FillNumbered(int n)
    {
        for (int i = 1; i <= n; ++i)
            AddRow(i, QStringLiteral("N%1").arg(i), i * 10.0);
    }
    // IDs from the first record to the end, leaving the cursor at Eof.
    std::vector<int> IdsForward()
    {
        std::vector<int> ids;
        for (First(); !Eof(); Next())
            ids.push_back(Id());
        return ids;
    }
};

// Records the named events of a dataset in order.
struct EventLog {
    std::vector<std::string> entries;
    void Attach(TDataSet &ds)
    {
        auto rec = [this](const char *name) {
            return [this, name](TDataSet *) { entries.emplace_back(name); };
        };
        ds.BeforeInsert = rec("BeforeInsert");
        ds.AfterInsert = rec("AfterInsert");
        ds.BeforeEdit = rec("BeforeEdit");
        ds.AfterEdit = rec("AfterEdit");
        ds.BeforePost = rec("BeforePost");
        ds.AfterPost = rec("AfterPost");
        ds.BeforeCancel = rec("BeforeCancel");
        ds.AfterCancel = rec("AfterCancel");
        ds.BeforeDelete = rec("BeforeDelete");
        ds.AfterDelete = rec("AfterDelete");
        ds.BeforeScroll = rec("BeforeScroll");
        ds.AfterScroll = rec("AfterScroll");
        ds.OnNewRecord = rec("OnNewRecord");
        ds.BeforeOpen = rec("BeforeOpen");
        ds.AfterOpen = rec("AfterOpen");
        ds.BeforeClose = rec("BeforeClose");
        ds.AfterClose = rec("AfterClose");
        ds.BeforeRefresh = rec("BeforeRefresh");
        ds.AfterRefresh = rec("AfterRefresh");
    }
    std::vector<std::string> Take() { return std::exchange(entries, {}); }
};

// A data link that logs its notifications.
class RecordingLink : public TDataLink {
public:
    std::vector<std::string> log;
    std::vector<int> scrolls;
    std::vector<std::string> Take() { return std::exchange(log, {}); }

protected:
    void ActiveChanged() override { log.push_back(Active() ? "Active" : "Inactive"); }
    void DataSetChanged() override { log.emplace_back("DataSetChanged"); }
    void DataSetScrolled(int distance) override
    {
        log.emplace_back("Scrolled");
        scrolls.push_back(distance);
    }
    void EditingChanged() override { log.push_back(Editing() ? "Editing" : "NotEditing"); }
    void LayoutChanged() override { log.emplace_back("LayoutChanged"); }
    void RecordChanged(TField *field) override
    {
        log.push_back(field ? "RecordChanged:" + field->FieldName().toStdString() : "RecordChanged");
    }
    void UpdateData() override { log.emplace_back("UpdateData"); }
    void CheckBrowseMode() override { log.emplace_back("CheckBrowseMode"); }
};

// Asserts that statement raises E with exactly the message.
#define EXPECT_RAISES(statement, E, text)                                                          \
    do {                                                                                           \
        try {                                                                                      \
            statement;                                                                             \
            ADD_FAILURE() << "no exception from " #statement;                                      \
        } catch (const E &e) {                                                                     \
            EXPECT_EQ(e.Message().toStdString(), std::string(text));                               \
        }                                                                                          \
    } while (0)

} // namespace zorbel::test
