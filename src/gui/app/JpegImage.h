// Decodes JPEG data with libjpeg into a QImage.
#pragma once

#include <QByteArray>
#include <QImage>

namespace gui {

// Returns a null image for data that is not a readable JPEG picture.
QImage DecodeJpeg(const QByteArray &data);

} // namespace gui
