// Renders the server's pictures (server.svg, drawn with the same shapes) into the PNG files
// that the program embeds. Run by hand after changing the picture:
//   render_server_icons <folder>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QString>

namespace {

// The picture of server.svg, on its 48 x 48 grid scaled to `size`.
QImage Draw(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 48.0, size / 48.0);
  const QColor blue("#1f4e8c");
  painter.setPen(QPen(QColor("#0f2c52"), 2));
  painter.setBrush(blue);
  painter.drawRoundedRect(QRectF(2, 2, 44, 44), 8, 8);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(8, 18, 32, 22), 2, 2);
  painter.setBrush(blue);
  painter.drawRect(QRectF(12, 23, 18, 3));
  painter.drawRect(QRectF(12, 29, 24, 3));
  painter.setPen(QPen(QColor("#8a5a00"), 1));
  painter.setBrush(QColor("#f5a623"));
  painter.drawPolygon(
      QPolygonF({{20, 4}, {28, 4}, {28, 10}, {34, 10}, {24, 19}, {14, 10}, {20, 10}}));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  bool ok = true;
  for (int size : {16, 24, 32, 48}) {
    ok = Draw(size).save(folder + QStringLiteral("/server_%1.png").arg(size)) && ok;
  }
  ok = Draw(16).save(folder + QStringLiteral("/tray_16.png")) && ok;
  return ok ? 0 : 1;
}
