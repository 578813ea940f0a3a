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
  void ShowPicture(const QImage& image, std::shared_ptr<const void> keepAlive = {});
  void HidePicture() { ShowPicture({}); }
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  std::shared_ptr<const void> keepAlive_;
};

}  // namespace vedra
