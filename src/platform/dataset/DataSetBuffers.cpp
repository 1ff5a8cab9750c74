// TDataSet's record-buffer ring and moving through it: sizing the ring,
// fetching records into it, navigation, resync and refresh, bookmarks and
// block reads. See DataSet.h for the ring's layout.
#include "platform/dataset/DataSet.h"
#include "platform/dataset/DataSetPrivate.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSource.h"
#include "platform/rtl/Exceptions.h"

#include <algorithm>

namespace zorbel {

namespace {

constexpr int kMaxBufferCount = 1024;

} // namespace

// ---- The buffer ring ----

void TDataSet::SetBufListSize(int value)
{
    const int old = int(buffers_.size());
    if (old == value)
        return;
    if (value < old) {
        for (int i = value; i < old; ++i)
            FreeRecordBuffer(buffers_[size_t(i)]);
        buffers_.resize(size_t(value));
        return;
    }
    buffers_.reserve(size_t(value));
    while (int(buffers_.size()) < value)
        buffers_.push_back(AllocRecordBuffer());
}

void TDataSet::SetBufferCount(int value)
{
    value = std::clamp(value, 1, kMaxBufferCount);
    if (value == bufferCount_)
        return;
    int shifted = 0;
    if (value < recordCount_) {
        // Keep the active record: drop buffers from the front first.
        shifted = std::max(0, activeRecord_ - (value - 1));
        for (int i = 0; i < shifted; ++i)
            MoveBuffer(0, int(buffers_.size()) - 1);
        activeRecord_ -= shifted;
        if (currentRecord_ >= 0)
            currentRecord_ -= shifted;
        recordCount_ = std::min(recordCount_ - shifted, value);
        if (currentRecord_ >= recordCount_)
            currentRecord_ = -1;
    }
    SetBufListSize(value + 1);
    const bool grew = value > bufferCount_;
    bufferCount_ = value;
    for (TDataSource *source : dataSources_)
        for (TDataLink *link : source->dataLinks_)
            if (link->active_)
                link->firstRecord_ = std::max(0, link->firstRecord_ - shifted);
    if (grew && internalOpenComplete_ && state_ != dsInsert) {
        GetNextRecords();
        const int added = GetPriorRecords();
        for (TDataSource *source : dataSources_)
            for (TDataLink *link : source->dataLinks_)
                if (link->active_)
                    link->firstRecord_ += added;
    }
}

void TDataSet::UpdateBufferCount()
{
    if (!internalOpenComplete_)
        return;
    int count = 1;
    for (TDataSource *source : dataSources_)
        for (TDataLink *link : source->dataLinks_)
            count = std::max(count, link->bufferCount_);
    SetBufferCount(count);
}

void TDataSet::MoveBuffer(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    auto first = buffers_.begin();
    if (newIndex < curIndex)
        std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
    else
        std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
}

TRecordBuffer TDataSet::ActiveBuffer() const
{
    return buffers_.empty() ? nullptr : buffers_[size_t(activeRecord_)];
}

void TDataSet::ClearBuffers()
{
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = true;
    eof_ = true;
}

void TDataSet::ActivateBuffers()
{
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
}

void TDataSet::SetCurrentRecord(int index)
{
    if (currentRecord_ == index)
        return;
    TRecordBuffer buffer = buffers_[size_t(index)];
    switch (GetBookmarkFlag(buffer)) {
    case bfCurrent: case bfInserted: InternalSetToRecord(buffer); break;
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
    }
    currentRecord_ = index;
}

void TDataSet::UpdateCursorPos()
{
    if (recordCount_ > 0)
        SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord()
{
    TGetMode mode = gmNext;
    if (recordCount_ > 0) {
        SetCurrentRecord(recordCount_ - 1);
        if (state_ == dsInsert && currentRecord_ == activeRecord_ &&
            GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
            mode = gmCurrent;
    }
    const bool ok = GetRecord(buffers_[size_t(recordCount_)], mode, true) == grOK;
    if (!ok) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0)
        ActivateBuffers();
    else if (recordCount_ < bufferCount_)
        ++recordCount_;
    else
        MoveBuffer(0, recordCount_);
    currentRecord_ = recordCount_ - 1;
    return true;
}

bool TDataSet::GetPriorRecord()
{
    if (recordCount_ > 0)
        SetCurrentRecord(0);
    const bool ok = GetRecord(buffers_[size_t(recordCount_)], gmPrior, true) == grOK;
    if (!ok) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
    } else {
        MoveBuffer(recordCount_, 0);
        if (recordCount_ < bufferCount_) {
            ++recordCount_;
            ++activeRecord_;
        }
    }
    currentRecord_ = 0;
    return true;
}

int TDataSet::GetNextRecords()
{
    int n = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord())
        ++n;
    return n;
}

int TDataSet::GetPriorRecords()
{
    int n = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord())
        ++n;
    return n;
}

void TDataSet::SetActiveRecord(int value)
{
    if (activeRecord_ == value)
        return;
    activeRecord_ = value;
}

// ---- Navigation ----

void TDataSet::First()
{
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
        GetNextRecords();
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    bof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last()
{
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
        GetPriorRecords();
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    eof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    int result = 0;
    DoBeforeScroll();
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = false;
        eof_ = false;
        const int oldRecordCount = recordCount_;
        int scrollCount = 0;
        auto finish = [&] {
            if (recordCount_ != oldRecordCount)
                DataEvent(deDataSetChange);
            else
                DataEvent(deDataSetScroll, scrollCount);
        };
        try {
            while (distance > 0) {
                if (activeRecord_ < recordCount_ - 1) {
                    ++activeRecord_;
                } else {
                    const int step = recordCount_ < bufferCount_ ? 0 : 1;
                    if (!GetNextRecord()) {
                        eof_ = true;
                        break;
                    }
                    scrollCount -= step;
                }
                --distance;
                ++result;
            }
            while (distance < 0) {
                if (activeRecord_ > 0) {
                    --activeRecord_;
                } else {
                    const int step = recordCount_ < bufferCount_ ? 0 : 1;
                    if (!GetPriorRecord()) {
                        bof_ = true;
                        break;
                    }
                    scrollCount += step;
                }
                ++distance;
                --result;
            }
        } catch (...) {
            finish();
            throw;
        }
        finish();
        DoAfterScroll();
    }
    return result;
}

bool TDataSet::IsEmpty() const { return activeRecord_ >= recordCount_; }

void TDataSet::Resync(TResyncMode mode)
{
    CheckActive();
    TRecordBuffer spare = buffers_[size_t(recordCount_)];
    if (mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(spare, gmCurrent, true) != grOK)
            DatabaseError(DBConsts::SRecordNotFound);
    } else if (GetRecord(spare, gmCurrent, false) != grOK &&
               GetRecord(spare, gmNext, false) != grOK &&
               GetRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange);
        return;
    }
    int count = mode.Contains(rmCenter) ? (bufferCount_ - 1) / 2 : activeRecord_;
    MoveBuffer(recordCount_, 0);
    ActivateBuffers();
    try {
        while (count > 0 && GetPriorRecord())
            --count;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange);
        throw;
    }
    DataEvent(deDataSetChange);
}

void TDataSet::Refresh()
{
    CheckBrowseMode();
    DoBeforeRefresh();
    UpdateCursorPos();
    InternalRefresh();
    Resync({});
    DoAfterRefresh();
}

// ---- Bookmarks ----

bool TDataSet::BookmarkAvailable() const
{
    return (state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) && !IsEmpty() &&
           GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmarkStr TDataSet::Bookmark() const
{
    if (!BookmarkAvailable() || bookmarkSize_ <= 0)
        return TBookmarkStr();
    TBookmarkStr bookmark(bookmarkSize_, 0);
    GetBookmarkData(ActiveBuffer(), bookmark.data());
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark &bookmark)
{
    if (bookmark.isEmpty())
        return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark.constData());
    Resync({rmExact, rmCenter});
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark &) const { return false; }

int TDataSet::CompareBookmarks(const TBookmark &, const TBookmark &) const { return 0; }

void TDataSet::SetBlockReadSize(int value)
{
    if (value > 0) {
        CheckActive();
        blockReadSize_ = value;
        SetState(dsBlockRead);
    } else {
        blockReadSize_ = 0;
        if (state_ == dsBlockRead)
            SetState(dsBrowse);
    }
}

} // namespace zorbel
