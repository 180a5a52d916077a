// Draws the client's pictures at 16, 24, 32 and 48 pixels into PNG files, from the same
// shapes as sender.svg and settings.svg (a 48 x 48 grid), and packs the sender's PNGs into
// sender.ico, the program file's icon on Windows. Run by hand after changing them:
//   qvr_make_client_icons <output folder>
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QTransform>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kGreen(0x0f, 0x7b, 0x5c);
const QColor kDarkGreen(0x06, 0x47, 0x33);
const QColor kYellow(0xff, 0xd2, 0x3f);

void DrawBackground(QPainter& p) {
  p.setPen(QPen(kDarkGreen, 2));
  p.setBrush(kGreen);
  p.drawRoundedRect(QRectF(2, 2, 44, 44), 8, 8);
}

// A presentation screen on its stand, with a yellow arrow leaving it to the right.
void DrawSender(QPainter& p) {
  DrawBackground(p);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(6, 9, 22, 17));
  p.drawRect(QRectF(15, 26, 4, 6));
  p.drawRect(QRectF(10, 32, 14, 4));
  p.setBrush(kGreen);
  p.drawRect(QRectF(9, 12, 16, 11));
  const QPolygonF arrow({{22, 25}, {31, 25}, {31, 18}, {43, 30}, {31, 42}, {31, 35}, {22, 35}});
  p.setPen(QPen(kDarkGreen, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(kYellow);
  p.drawPolygon(arrow);
}

// A white cog wheel with eight teeth.
void DrawSettings(QPainter& p) {
  DrawBackground(p);
  QPainterPath cog;
  cog.addEllipse(QPointF(24, 24), 12, 12);
  for (int i = 0; i < 8; ++i) {
    QPainterPath tooth;
    tooth.addRect(QRectF(21, 6, 6, 8));
    cog =
        cog.united(QTransform().translate(24, 24).rotate(45.0 * i).translate(-24, -24).map(tooth));
  }
  QPainterPath hole;
  hole.addEllipse(QPointF(24, 24), 5, 5);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(cog.subtracted(hole));
}

QByteArray Png(int size, const std::function<void(QPainter&)>& draw) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 48.0, size / 48.0);
  draw(painter);
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void Append16(QByteArray& out, int value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}

void Append32(QByteArray& out, qint64 value) {
  Append16(out, static_cast<int>(value & 0xFFFF));
  Append16(out, static_cast<int>((value >> 16) & 0xFFFF));
}

// An icon file whose images are stored as PNG: a 6-byte header, one 16-byte entry per
// image, then the images.
QByteArray Ico(const std::vector<std::pair<int, QByteArray>>& images) {
  QByteArray out;
  Append16(out, 0);  // reserved
  Append16(out, 1);  // icon
  Append16(out, static_cast<int>(images.size()));
  qint64 offset = 6 + 16 * static_cast<qint64>(images.size());
  for (const auto& [size, png] : images) {
    out.append(static_cast<char>(size));  // width
    out.append(static_cast<char>(size));  // height
    out.append('\0');                     // no palette
    out.append('\0');                     // reserved
    Append16(out, 1);                     // colour planes
    Append16(out, 32);                    // bits per pixel
    Append32(out, png.size());
    Append32(out, offset);
    offset += png.size();
  }
  for (const auto& image : images) out.append(image.second);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fputs("usage: qvr_make_client_icons <output folder>\n", stderr);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  std::vector<std::pair<int, QByteArray>> sender_images;
  for (int size : {16, 24, 32, 48}) {
    const QByteArray sender = Png(size, DrawSender);
    sender_images.emplace_back(size, sender);
    ok = WriteFile(QStringLiteral("%1/sender-%2.png").arg(folder).arg(size), sender) && ok;
    ok = WriteFile(QStringLiteral("%1/settings-%2.png").arg(folder).arg(size),
                   Png(size, DrawSettings)) &&
         ok;
  }
  ok = WriteFile(folder + QStringLiteral("/sender.ico"), Ico(sender_images)) && ok;
  return ok ? 0 : 1;
}
