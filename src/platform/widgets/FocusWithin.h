// Entering and leaving of a composite control: a grid or a tree whose
// in-place editors (and, for the grid, its inner view) take the focus from
// it. Enter and exit events fire only when the focus comes from, or goes to,
// a widget outside the control within the same window; activation changes
// between windows fire nothing, so a control's OnExit (which checks or posts
// what was typed) does not run because a message box came up over it.
#pragma once

#include "platform/widgets/Controls.h"

namespace zorbel {

// Sends controlEvent a focus-in or focus-out event whenever the focus enters
// or leaves widget and its children; a control that the focus leaves hears
// of it before the control it goes to. The control passes it to the base
// control hook (OnEnter/OnExit) and swallows the plain focus events of its
// own widgets (see IsFocusEvent).
void TrackFocusWithin(QWidget *widget, const std::function<void(QEvent *)> &controlEvent);

// True for focus-in and focus-out events.
bool IsFocusEvent(const QEvent *event);

} // namespace zorbel
