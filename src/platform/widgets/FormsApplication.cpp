// The application object (title, help, exception handling, the main form)
// and the screen (its size, the cursor position, the fonts, the cursor shape,
// the active form and control); the hourglass cursor works through the screen.
#include "platform/widgets/Forms.h"

#include "platform/rtl/NoticeText.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QToolTip>

namespace zorbel {

// ---- application ----

TApplication &Application()
{
    static TApplication application;
    return application;
}

QString TApplication::Title() const
{
    return title_.isEmpty() ? QCoreApplication::applicationName() : title_;
}

void TApplication::HelpContext(int context)
{
    if (OnHelp)
        OnHelp(context);
}

void TApplication::HandleException(TObject *sender)
{
    try {
        throw;
    } catch (const EAbort &) {
    } catch (const Exception &e) {
        if (OnException)
            OnException(sender, e);
        else
            ShowException(e);
    } catch (const std::exception &e) {
        // The standard library's texts are English and say nothing to a user.
        const Exception wrapped(ExceptionNotice(e));
        if (OnException)
            OnException(sender, wrapped);
        else
            ShowException(wrapped);
    } catch (...) {
        ShowException(Exception(QStringLiteral("Неизвестная ошибка")));
    }
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(); }

void TApplication::BringToFront()
{
    if (mainForm_) {
        mainForm_->raise();
        mainForm_->activateWindow();
    }
}

// ---- screen ----

TScreen &Screen()
{
    static TScreen screen;
    return screen;
}

int TScreen::Width() const { return QGuiApplication::primaryScreen()->geometry().width(); }
int TScreen::Height() const { return QGuiApplication::primaryScreen()->geometry().height(); }
QPoint TScreen::CursorPos() const { return QCursor::pos(); }
QFont TScreen::MessageFont() const { return QApplication::font("QMessageBox"); }
QFont TScreen::HintFont() const { return QToolTip::font(); }

void TScreen::SetCursor(TCursor cursor)
{
    if (cursor == cursor_)
        return;
    if (cursor_ != crDefault)
        QApplication::restoreOverrideCursor();
    cursor_ = cursor;
    if (cursor_ != crDefault)
        QApplication::setOverrideCursor(CursorShape(cursor_));
}

TForm *TScreen::ActiveForm() const { return dynamic_cast<TForm *>(QApplication::activeWindow()); }

TControl *TScreen::ActiveControl() const
{
    QWidget *focus = QApplication::focusWidget();
    return focus ? FindControl(focus) : nullptr;
}

THourGlass::THourGlass() : previous_(Screen().Cursor()) { Screen().SetCursor(crHourGlass); }

THourGlass::~THourGlass() { Screen().SetCursor(previous_); }

} // namespace zorbel
