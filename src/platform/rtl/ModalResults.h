// Modal results: what a modal window or a message box returns (the button
// pressed), each a fixed number, so that a result passed on as an int (a
// button's ModalResult, a message-box hook's answer) names one button
// everywhere. Shared by the
// windows and by components that ask their owner through a message-box hook.
#pragma once

namespace zorbel {

constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
              mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

} // namespace zorbel
