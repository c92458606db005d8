// Draws Velmira's background picture, MiImagen.jpg: a calm, light ground
// that every caption of the window stays readable over (black and dark-blue
// bold text), with a macro photographer's scene kept faint: out-of-focus
// discs of light, as behind a flower at close range, and the rail itself
// along the bottom, a lead screw with its carriage and the equal steps of a
// stack marked off.  Everything is computed here, so the picture's source
// and licence are the program's own, and the same source gives the same
// file.
//   velmira-make-background OUT.jpg
#include <QCoreApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdint>
#include <cstdio>

namespace {

// Twice the window's client area (697 x 540 pixels): sharp on a display
// scaled by two, and smooth when stretched over the window's outer size.
constexpr int kWidth = 1394;
constexpr int kHeight = 1080;

// A small generator of its own, so the discs lie where they lie on every
// machine and with every library.
class Dice {
 public:
  double next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) / static_cast<double>(1ULL << 53);
  }
  double between(double lo, double hi) { return lo + (hi - lo) * next(); }

 private:
  uint64_t state_ = 0x5eed5eedULL;
};

void ground(QPainter& p) {
  // Morning light over a leaf: warm ivory at the top, pale sage below.
  QLinearGradient g(0, 0, kWidth * 0.25, kHeight);
  g.setColorAt(0.0, QColor(250, 247, 238));
  g.setColorAt(0.55, QColor(238, 243, 234));
  g.setColorAt(1.0, QColor(225, 236, 232));
  p.fillRect(0, 0, kWidth, kHeight, g);
}

void bokeh(QPainter& p) {
  // Out-of-focus highlights: soft discs, light and faintly tinted, a few
  // darker ones lower down as foliage far behind the subject.
  Dice dice;
  const QColor tints[] = {QColor(255, 236, 190), QColor(214, 236, 200), QColor(200, 226, 236),
                          QColor(240, 214, 226)};
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 38; ++i) {
    const double x = dice.between(-80, kWidth + 80);
    const double y = dice.between(-80, kHeight * 0.9);
    const double r = dice.between(40, 170);
    QColor c = tints[i % 4];
    const int alpha = static_cast<int>(dice.between(60, 125));
    QRadialGradient disc(x, y, r);
    c.setAlpha(alpha);
    disc.setColorAt(0.0, c);
    disc.setColorAt(0.82, c);
    c.setAlpha(alpha / 3);
    disc.setColorAt(0.95, c);
    c.setAlpha(0);
    disc.setColorAt(1.0, c);
    p.setBrush(disc);
    p.drawEllipse(QPointF(x, y), r, r);
  }
  for (int i = 0; i < 10; ++i) {
    const double x = dice.between(0, kWidth);
    const double y = dice.between(kHeight * 0.55, kHeight * 1.05);
    const double r = dice.between(90, 220);
    QRadialGradient shade(x, y, r);
    shade.setColorAt(0.0, QColor(150, 180, 150, 22));
    shade.setColorAt(1.0, QColor(150, 180, 150, 0));
    p.setBrush(shade);
    p.drawEllipse(QPointF(x, y), r, r);
  }
}

void stemAndLeaf(QPainter& p) {
  // A stem rising from the bottom right with one leaf, far out of focus:
  // only its shape shows, a shade darker than the ground.
  p.setPen(Qt::NoPen);
  QPainterPath stem;
  stem.moveTo(kWidth * 0.93, kHeight * 1.02);
  stem.cubicTo(kWidth * 0.90, kHeight * 0.75, kWidth * 0.97, kHeight * 0.52, kWidth * 0.92, kHeight * 0.30);
  stem.cubicTo(kWidth * 0.975, kHeight * 0.52, kWidth * 0.925, kHeight * 0.75, kWidth * 0.955, kHeight * 1.02);
  stem.closeSubpath();
  p.setBrush(QColor(120, 160, 120, 26));
  p.drawPath(stem);
  QPainterPath leaf;
  leaf.moveTo(kWidth * 0.935, kHeight * 0.62);
  leaf.cubicTo(kWidth * 0.86, kHeight * 0.50, kWidth * 0.78, kHeight * 0.52, kWidth * 0.73, kHeight * 0.44);
  leaf.cubicTo(kWidth * 0.80, kHeight * 0.60, kWidth * 0.87, kHeight * 0.63, kWidth * 0.935, kHeight * 0.62);
  p.setBrush(QColor(120, 165, 120, 24));
  p.drawPath(leaf);
}

void rail(QPainter& p) {
  // The rail along the bottom edge, below the panels: the lead screw's
  // thread, the carriage, and the stack's equal steps as a scale.
  const double y = kHeight * 0.985;
  const QColor ink(70, 95, 90, 40);
  p.setPen(QPen(ink, 2));
  p.drawLine(QPointF(kWidth * 0.03, y), QPointF(kWidth * 0.97, y));
  p.setPen(QPen(ink, 1.5));
  for (double x = kWidth * 0.03; x < kWidth * 0.97; x += 9) p.drawLine(QPointF(x, y - 5), QPointF(x + 5, y + 5));
  for (int i = 0; i <= 24; ++i) {
    const double x = kWidth * (0.03 + 0.94 * i / 24.0);
    const double h = i % 4 == 0 ? 12 : 6;
    p.drawLine(QPointF(x, y - 8 - h), QPointF(x, y - 8));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 95, 90, 30));
  p.drawRoundedRect(QRectF(kWidth * 0.46, y - 16, kWidth * 0.08, 24), 5, 5);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.jpg\n", argv[0]);
    return 2;
  }
  QCoreApplication app(argc, argv);  // the JPEG writer is a plug-in
  QImage picture(kWidth, kHeight, QImage::Format_RGB32);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  ground(p);
  bokeh(p);
  stemAndLeaf(p);
  rail(p);
  p.end();
  if (!picture.save(QString::fromLocal8Bit(argv[1]), "JPG", 88)) {
    std::fprintf(stderr, "velmira-make-background: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
