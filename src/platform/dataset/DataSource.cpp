// Data sources and data links: the path of data events from a dataset to the
// controls that show it.
#include "platform/dataset/DataSource.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSet.h"

#include <QScopedValueRollback>
#include <algorithm>

namespace zorbel {

// ---- TDataSource ----

TDataSource::TDataSource(TDataSet *dataSet) { SetDataSet(dataSet); }

TDataSource::~TDataSource()
{
    // The owner is going away: links still learn that the data is gone, but
    // the source's own events stay silent.
    destroying_ = true;
    SetDataSet(nullptr);
    const std::vector<TDataLink *> links = dataLinks_;
    for (TDataLink *link : links)
        link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet *dataSet)
{
    if (dataSet_ == dataSet)
        return;
    if (dataSet_)
        dataSet_->UnregisterDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_)
        dataSet_->RegisterDataSource(this);
    UpdateState();
}

void TDataSource::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    UpdateState();
}

void TDataSource::Edit()
{
    if (autoEdit_ && state_ == dsBrowse && dataSet_)
        dataSet_->Edit();
}

void TDataSource::SetState(TDataSetState value)
{
    if (state_ == value)
        return;
    const TDataSetState prior = state_;
    state_ = value;
    NotifyDataLinks(deUpdateState, static_cast<intptr_t>(prior));
    if (destroying_)
        return;
    if (OnStateChange)
        OnStateChange(this);
    if (prior == dsInactive && OnDataChange)
        OnDataChange(this, nullptr);
}

void TDataSource::UpdateState()
{
    if (enabled_ && dataSet_)
        SetState(dataSet_->State());
    else
        SetState(dsInactive);
}

void TDataSource::NotifyDataLinks(TDataEvent event, intptr_t info)
{
    const std::vector<TDataLink *> links = dataLinks_;
    for (TDataLink *link : links)
        if (std::find(dataLinks_.begin(), dataLinks_.end(), link) != dataLinks_.end())
            link->DataEvent(event, info);
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info)
{
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (state_ == dsInactive && event != deDisabledStateChange)
        return;
    NotifyDataLinks(event, info);
    switch (event) {
    case deFieldChange:
        if (OnDataChange)
            OnDataChange(this, reinterpret_cast<TField *>(info));
        break;
    case deRecordChange: case deDataSetChange: case deDataSetScroll: case deLayoutChange:
        if (OnDataChange)
            OnDataChange(this, nullptr);
        break;
    case deUpdateRecord:
        if (OnUpdateData)
            OnUpdateData(this);
        break;
    default:
        break;
    }
}

void TDataSource::AddDataLink(TDataLink *link)
{
    dataLinks_.push_back(link);
    link->dataSource_ = this;
    if (dataSet_)
        dataSet_->UpdateBufferCount();
    link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink *link)
{
    dataLinks_.erase(std::remove(dataLinks_.begin(), dataLinks_.end(), link), dataLinks_.end());
    link->dataSource_ = nullptr;
    link->UpdateState();
    if (dataSet_)
        dataSet_->UpdateBufferCount();
}

// ---- TDataLink ----

TDataLink::TDataLink() = default;

TDataLink::~TDataLink()
{
    if (dataSource_)
        dataSource_->RemoveDataLink(this);
}

void TDataLink::SetDataSource(TDataSource *source)
{
    if (dataSource_ == source)
        return;
    if (dataSource_)
        dataSource_->RemoveDataLink(this);
    if (source)
        source->AddDataLink(this);
}

TDataSet *TDataLink::DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }

void TDataLink::SetReadOnly(bool readOnly)
{
    if (readOnly_ == readOnly)
        return;
    readOnly_ = readOnly;
    UpdateState();
}

void TDataLink::SetBufferCount(int value)
{
    if (bufferCount_ == value)
        return;
    bufferCount_ = std::max(1, value);
    if (active_) {
        UpdateRange();
        DataSet()->UpdateBufferCount();
        UpdateRange();
    }
}

int TDataLink::ActiveRecord() const
{
    const TDataSet *ds = DataSet();
    return active_ && ds ? ds->activeRecord_ - firstRecord_ : 0;
}

void TDataLink::SetActiveRecord(int value)
{
    if (active_)
        DataSet()->SetActiveRecord(value + firstRecord_);
}

int TDataLink::RecordCount() const
{
    if (!active_)
        return 0;
    const int count = DataSet()->recordCount_ - firstRecord_;
    return std::clamp(count, 0, bufferCount_);
}

bool TDataLink::Edit()
{
    if (!readOnly_ && dataSource_)
        dataSource_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord()
{
    if (updating_)
        return;
    const QScopedValueRollback<bool> busy(updating_, true);
    UpdateData();
}

void TDataLink::UpdateRange()
{
    const TDataSet *ds = DataSet();
    const int active = ds->activeRecord_;
    const int low = std::max(0, active - bufferCount_ + 1);
    const int high = std::min(std::max(0, ds->bufferCount_ - bufferCount_), active);
    firstRecord_ = std::clamp(firstRecord_, low, std::max(low, high));
}

void TDataLink::SetActive(bool value)
{
    if (active_ == value)
        return;
    active_ = value;
    if (value)
        UpdateRange();
    else
        firstRecord_ = 0;
    ActiveChanged();
}

void TDataLink::SetEditing(bool value)
{
    if (editing_ == value)
        return;
    editing_ = value;
    EditingChanged();
}

void TDataLink::UpdateState()
{
    const bool active = dataSource_ && dataSource_->State() != dsInactive;
    SetActive(active);
    const TDataSetState s = dataSource_ ? dataSource_->State() : dsInactive;
    SetEditing(active && (s == dsEdit || s == dsInsert || s == dsSetKey) && !readOnly_);
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info)
{
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (event == deDisabledStateChange) {
        SetActive(info != 0);
        return;
    }
    if (!active_)
        return;
    switch (event) {
    case deFieldChange: case deRecordChange:
        if (!updating_)
            RecordChanged(reinterpret_cast<TField *>(info));
        break;
    case deDataSetChange: case deDataSetScroll: case deLayoutChange: {
        int distance = 0;
        if (dataSource_->State() != dsSetKey) {
            const int expected = firstRecord_ + int(info);
            firstRecord_ = std::max(0, expected);
            UpdateRange();
            distance = firstRecord_ - expected;
        } else {
            firstRecord_ = 0;
        }
        if (event == deDataSetScroll)
            DataSetScrolled(distance);
        else if (event == deLayoutChange)
            LayoutChanged();
        else
            DataSetChanged();
        break;
    }
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case deFocusControl:
        FocusControl(reinterpret_cast<TField *>(info));
        break;
    default:
        break;
    }
}

} // namespace zorbel
