// A static pane of the main window that shows one channel's picture, scaled to fill it.
#pragma once

#include <QFrame>
#include <QImage>

namespace vedra {

class CVideoPane : public QFrame {
  Q_OBJECT

 public:
  enum class Style { kBordered, kSunken };
  CVideoPane(Style style, QWidget* parent);

  // GUI thread. A null image hides the picture (the pane shows black).
  void ShowPicture(const QImage& image);
  void HidePicture() { ShowPicture({}); }
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

}  // namespace vedra
