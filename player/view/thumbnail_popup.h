// The small pictures shown near the pointer while a time line is hovered: one
// per checked camera, side by side (three or four in two rows), with the camera's number and the time
// of day below. A camera whose picture has not come yet shows as a dark
// frame. A tool-tip window of its own; GUI thread only.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <map>
#include <vector>

namespace vedra {

class ThumbnailPopup : public QWidget {
public:
    static constexpr int kGap = 4;
    static constexpr int kCaptionHeight = 14;

    // `pictureSize`: the size a camera's place takes before its picture comes.
    explicit ThumbnailPopup(QSize pictureSize, QWidget* parent = nullptr);

    // The cameras to show (1-4, in order) and the time of day under them;
    // pictures of other cameras are forgotten.
    void SetCameras(const std::vector<int>& channels, const QString& caption);
    // A camera's picture, when it comes (a null picture: none yet).
    void SetPicture(int channel, const QImage& picture);
    bool HasPicture(int channel) const;
    // Near `globalPos`, kept on the screen.
    void ShowNear(QPoint globalPos);

    QSize sizeHint() const override;
    // Pictures per row, and where camera i (in the order given) sits.
    int columns() const;
    QRect PlaceOf(size_t i) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize pictureSize_;
    std::vector<int> channels_;
    std::map<int, QImage> pictures_;
    QString caption_;
};

} // namespace vedra
