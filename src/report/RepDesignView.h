// A widget that shows a report's design surface: the page with its grid and
// margins, the bands stacked on it and the printables on the bands.
#pragma once

#include <QWidget>

namespace zorbel {

class TCustomBandReport;

// The surface takes the report's OnRepaint while it lives; the report must
// outlive it.
class TRepDesignSurface : public QWidget {
public:
    explicit TRepDesignSurface(TCustomBandReport &report, QWidget *parent = nullptr);
    ~TRepDesignSurface() override;
    TRepDesignSurface(const TRepDesignSurface &) = delete;
    TRepDesignSurface &operator=(const TRepDesignSurface &) = delete;

    TCustomBandReport &Report() const { return report_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Follows the page size (paper, zoom) and schedules a paint.
    void Refresh();
    TCustomBandReport &report_;
};

} // namespace zorbel
