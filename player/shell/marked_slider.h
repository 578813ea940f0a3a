// The progress trackbar with the in and out marks of a range to export drawn on it.
#pragma once

#include <QSlider>

namespace vedra {

class MarkedSlider : public QSlider {
    Q_OBJECT

public:
    explicit MarkedSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

    // Positions on the trackbar's range; -1: no such mark.
    void SetMarks(int in, int out);
    int markIn() const { return in_; }
    int markOut() const { return out_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int XOf(int position) const;
    int in_ = -1;
    int out_ = -1;
};

} // namespace vedra
