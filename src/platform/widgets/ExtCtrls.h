// Panels, splitters, images and timers.
#pragma once

#include "platform/widgets/Controls.h"
#include "platform/widgets/StdCtrls.h"

#include <QFrame>
#include <QLabel>
#include <QObject>
#include <QTimer>

namespace zorbel {

enum class TBevelCut { bvNone, bvLowered, bvRaised };

// A container with an optional caption and bevels.
class TPanel : public QFrame, public TControl {
    Q_OBJECT
public:
    explicit TPanel(QWidget *parent, const QString &name = {});
    QString Caption() const { return caption_; }
    // The caption's font: the panel's own, or smaller so that it shows whole.
    QFont CaptionFont() const;
    void SetCaption(const QString &caption);
    void SetAlignment(TAlignment alignment);
    void SetBevelOuter(TBevelCut cut);
    void SetBevelInner(TBevelCut cut);
    void SetBorderWidth(int width);
    void SetColor(TColor color) override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool ControlEvent(QEvent *event) override;

private:
    void UpdateFrame();
    QString caption_;
    TAlignment alignment_ = TAlignment::taCenter;
    TBevelCut outer_ = TBevelCut::bvRaised, inner_ = TBevelCut::bvNone;
    int borderWidth_ = 0;
};

// Resizes the aligned control before it (in its align direction) when dragged.
class TSplitter : public QWidget, public TControl {
    Q_OBJECT
public:
    explicit TSplitter(QWidget *parent, const QString &name = {});
    void SetMinSize(int size) { minSize_ = size; }
    TNotifyEvent OnMoved;

protected:
    bool ControlEvent(QEvent *event) override;

private:
    TControl *Target() const;
    int minSize_ = 30;
    int pressPos_ = -1;
    int startSize_ = 0;
};

class TImage : public QLabel, public TControl {
    Q_OBJECT
public:
    explicit TImage(QWidget *parent, const QString &name = {});
    QPixmap Picture() const { return picture_; }
    void SetPicture(const QPixmap &picture);
    void SetStretch(bool stretch);
    void SetCenter(bool center) { setAlignment(center ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop); }
    void SetTransparent(bool transparent);

protected:
    bool ControlEvent(QEvent *event) override;

private:
    QPixmap picture_;
};

class TTimer : public QObject, public TComponent {
    Q_OBJECT
public:
    explicit TTimer(QObject *owner, const QString &name = {});
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    int Interval() const { return timer_.interval(); }
    void SetInterval(int ms);
    TNotifyEvent OnTimer;

private:
    void Restart();
    QTimer timer_;
    bool enabled_ = true;
};

} // namespace zorbel
