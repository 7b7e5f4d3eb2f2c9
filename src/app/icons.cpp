#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>

namespace vellumark {
namespace {

const QColor kInk(40, 60, 110);
const QColor kAccent(200, 120, 20);

}  // namespace

QIcon ButtonIcon(ButtonPicture picture) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(kInk, 1.6);
  p.setPen(pen);
  switch (picture) {
    case ButtonPicture::kFind:  // a magnifying glass
      p.drawEllipse(QRectF(2, 2, 8, 8));
      p.setPen(QPen(kInk, 2.4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
      break;
    case ButtonPicture::kNext: {  // an arrow down to a mark
      QPainterPath arrow;
      arrow.moveTo(8, 2);
      arrow.lineTo(8, 11);
      arrow.moveTo(4, 7.5);
      arrow.lineTo(8, 11.5);
      arrow.lineTo(12, 7.5);
      p.drawPath(arrow);
      p.setPen(QPen(kAccent, 2));
      p.drawLine(QPointF(3, 14), QPointF(13, 14));
      break;
    }
    case ButtonPicture::kShowMore: {  // a double chevron down
      QPainterPath v;
      for (double y : {3.0, 8.0}) {
        v.moveTo(3, y);
        v.lineTo(8, y + 4);
        v.lineTo(13, y);
      }
      p.drawPath(v);
      break;
    }
    case ButtonPicture::kIndex:  // a list of lines with bullets
      for (int y : {3, 8, 13}) {
        p.fillRect(QRectF(2, y - 1, 2.5, 2.5), kAccent);
        p.drawLine(QPointF(6, y), QPointF(14, y));
      }
      break;
    case ButtonPicture::kHelp: {  // a question mark
      QFont f = p.font();
      f.setBold(true);
      f.setPixelSize(14);
      p.setFont(f);
      p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
  }
  return QIcon(pm);
}

QPixmap Emblem(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 48.0, size / 48.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(245, 240, 225));
  p.drawRoundedRect(QRectF(3, 3, 42, 42), 6, 6);
  p.setPen(QPen(kInk, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath v;
  v.moveTo(11, 11);
  v.lineTo(24, 37);
  v.lineTo(37, 11);
  p.drawPath(v);
  p.setPen(QPen(kAccent, 3));
  p.drawEllipse(QRectF(27, 27, 12, 12));
  return pm;
}

}  // namespace vellumark
