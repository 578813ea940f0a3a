// A static pane of the main window that shows one channel's picture, scaled to fill it.
#pragma once

#include <QFrame>
#include <QImage>

#include <memory>

namespace vedra {

class CVideoPane : public QFrame {
  Q_OBJECT

 public:
  enum class Style { kBordered, kSunken };
  CVideoPane(Style style, QWidget* parent);

  // GUI thread. A null image hides the picture (the pane shows black). keepAlive owns the
  // memory image points into (a pipeline's frame), so frames are shown without a copy.
  // time: the frame's presentation time in its file, in nanoseconds; -1 when unknown.
  void ShowPicture(const QImage& image, std::shared_ptr<const void> keepAlive = {}, qint64 time = -1);
  void HidePicture();
  const QImage& picture() const { return picture_; }
  qint64 pictureTime() const { return pictureTime_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  std::shared_ptr<const void> keepAlive_;
  qint64 pictureTime_ = -1;
};

}  // namespace vedra
