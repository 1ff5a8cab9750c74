// TDataSource connects a dataset to data-aware controls; each control holds a
// TDataLink on the source. The dataset sends its data events to its sources,
// the sources pass them to their links, and a link turns them into the
// virtual notifications a control overrides (RecordChanged, DataSetChanged,
// DataSetScrolled, ...).
//
// A link also sees a window of the dataset's buffer ring: BufferCount rows
// starting at FirstRecord, which a grid uses to paint its visible rows
// (SetActiveRecord makes one of them the dataset's active record while the
// grid reads it).
#pragma once

#include "platform/dataset/DBTypes.h"

#include <functional>
#include <vector>

namespace zorbel {

class TDataSet;
class TDataLink;
class TField;

class TDataSource {
public:
    using TNotifyEvent = std::function<void(TDataSource *sender)>;
    using TDataChangeEvent = std::function<void(TDataSource *sender, TField *field)>;

    explicit TDataSource(TDataSet *dataSet = nullptr);
    virtual ~TDataSource();
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    TDataSet *DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet *dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Whether a control may put the dataset into edit mode by itself.
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }
    // The dataset's state as the controls see it (inactive while disabled).
    TDataSetState State() const { return state_; }
    // Puts the dataset into edit mode when AutoEdit and it is browsing.
    void Edit();
    // Whether dataSet's data is shown through this source.
    bool IsLinkedTo(const TDataSet *dataSet) const { return dataSet_ == dataSet; }

    // Fires for field, record and dataset changes and scrolls (field is
    // nullptr for all but field changes), and when the state leaves inactive.
    TDataChangeEvent OnDataChange;
    TNotifyEvent OnStateChange;
    // Fires when the dataset asks controls to write pending values.
    TNotifyEvent OnUpdateData;

private:
    friend class TDataSet;
    friend class TDataLink;

    void DataEvent(TDataEvent event, intptr_t info);
    void NotifyDataLinks(TDataEvent event, intptr_t info);
    void SetState(TDataSetState value);
    void UpdateState();
    void AddDataLink(TDataLink *link);
    void RemoveDataLink(TDataLink *link);

    TDataSet *dataSet_ = nullptr;
    bool enabled_ = true;
    bool autoEdit_ = true;
    bool destroying_ = false;
    TDataSetState state_ = dsInactive;
    std::vector<TDataLink *> dataLinks_;
};

class TDataLink {
public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink &) = delete;
    TDataLink &operator=(const TDataLink &) = delete;

    TDataSource *DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource *source);
    TDataSet *DataSet() const;
    // True while the source is enabled and its dataset open.
    bool Active() const { return active_; }
    // True while the dataset is in edit or insert mode and the link not read-only.
    bool Editing() const { return editing_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    // Rows of the buffer window this link wants (a grid: its visible rows).
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int value);
    // Index of the dataset's active record within this link's window.
    int ActiveRecord() const;
    void SetActiveRecord(int value);
    // Records available in the window.
    int RecordCount() const;
    // Puts the dataset into edit mode when allowed; true when editing after.
    bool Edit();
    // Asks the control to write its value (UpdateData), guarding re-entry.
    void UpdateRecord();

protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int distance) { (void)distance; DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void FocusControl(TField *field) { (void)field; }
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField *field) { (void)field; }
    virtual void UpdateData() {}

private:
    friend class TDataSource;
    friend class TDataSet;

    void DataEvent(TDataEvent event, intptr_t info);
    void UpdateState();
    void UpdateRange();
    void SetActive(bool value);
    void SetEditing(bool value);

    TDataSource *dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
    int bufferCount_ = 1;
    int firstRecord_ = 0;
};

} // namespace zorbel
