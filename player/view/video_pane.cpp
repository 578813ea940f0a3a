#include "video_pane.h"

#include <QPainter>

namespace vedra {

CVideoPane::CVideoPane(Style style, QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Box);
  setFrameShadow(style == Style::kSunken ? QFrame::Sunken : QFrame::Plain);
  setLineWidth(1);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CVideoPane::ShowPicture(const QImage& image, std::shared_ptr<const void> keepAlive, qint64 time) {
  picture_ = image;
  keepAlive_ = std::move(keepAlive);
  pictureTime_ = image.isNull() ? -1 : time;
  update();
}

void CVideoPane::HidePicture() {
  if (picture_.isNull()) return;
  ShowPicture({});
}

void CVideoPane::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    const QRect inside = contentsRect();
    if (picture_.isNull())
      painter.fillRect(inside, Qt::black);
    else
      painter.drawImage(inside, picture_);
  }
  QFrame::paintEvent(event);  // the border
}

}  // namespace vedra
