// Draws the fifteen embedded team flags as 8-bit RGBA PNGs with transparent margins.
//
//   velk_flaggen <output folder>
//
// Most flags fill a band 512 x 256 pixels across rows 128 to 383 ("USA": 129 to 384) of a
// 512 x 512 picture, the flag stretched or extended to 2:1 while its emblems keep their own
// proportions. "SUI" is a square 300 x 300 flag at rows 104 to 403 and columns 106 to 405.
// "ROC" (rows 98 to 413) and "KOS" (a 500 x 500 picture, rows 71 to 427) have soft side edges,
// so that every row of theirs is partly transparent. The flag loader shows rows 138 to 385, so
// everything that makes a flag recognisable at 30 x 18 pixels sits inside those rows. The
// designs follow each flag's public construction sheet.

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <vector>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

namespace {

constexpr double kPi = std::numbers::pi;

// A regular star with `points` tips, the first pointing at `angle` (radians, 0 = up).
QPolygonF Star(QPointF centre, double outer, int points = 5, double innerRatio = 0.381966, double angle = 0) {
    QPolygonF star;
    for (int i = 0; i < 2 * points; ++i) {
        const double r = i % 2 == 0 ? outer : outer * innerRatio;
        const double a = angle + i * kPi / points;
        star << QPointF(centre.x() + r * std::sin(a), centre.y() - r * std::cos(a));
    }
    return star;
}

void FillStar(QPainter& p, const QColor& colour, QPointF centre, double outer, int points = 5,
              double innerRatio = 0.381966, double angle = 0) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(Star(centre, outer, points, innerRatio, angle));
}

// Horizontal stripes of equal height over rect.
void HorizontalStripes(QPainter& p, const QRect& r, const std::vector<QColor>& colours) {
    const int n = int(colours.size());
    for (int i = 0; i < n; ++i) {
        const int top = r.top() + r.height() * i / n;
        const int bottom = r.top() + r.height() * (i + 1) / n;
        p.fillRect(QRect(r.left(), top, r.width(), bottom - top), colours[i]);
    }
}

void VerticalStripes(QPainter& p, const QRect& r, const std::vector<QColor>& colours) {
    const int n = int(colours.size());
    for (int i = 0; i < n; ++i) {
        const int left = r.left() + r.width() * i / n;
        const int right = r.left() + r.width() * (i + 1) / n;
        p.fillRect(QRect(left, r.top(), right - left, r.height()), colours[i]);
    }
}

// The Union Flag over r (2:1): 60 x 30 units.
void UnionFlag(QPainter& p, const QRectF& r) {
    const QColor blue(1, 33, 105), red(200, 16, 46);
    const double u = r.height() / 30;
    const QPointF c = r.center();
    p.save();
    p.setClipRect(r);
    p.fillRect(r, blue);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 6 * u, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.bottomLeft(), r.topRight());
    // The red saltire is counterchanged: on each arm it lies to one side of the diagonal, broad
    // white uppermost at the hoist, turning like a pinwheel around the centre.
    const QPointF corners[4] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
    for (const QPointF& corner : corners) {
        QPointF d = corner - c;
        const double length = std::hypot(d.x(), d.y());
        d /= length;
        const QPointF offset(d.y() * 2 * u, -d.x() * 2 * u);
        QPolygonF arm;
        arm << c << corner << corner + offset << c + offset;
        p.save();
        // Keep each arm in its own quarter.
        p.setClipRect(QRectF(QPointF(std::min(c.x(), corner.x()), std::min(c.y(), corner.y())),
                             QPointF(std::max(c.x(), corner.x()), std::max(c.y(), corner.y()))),
                      Qt::IntersectClip);
        p.setPen(Qt::NoPen);
        p.setBrush(red);
        p.drawPolygon(arm);
        p.restore();
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRectF(r.left(), c.y() - 5 * u, r.width(), 10 * u), Qt::white);
    p.fillRect(QRectF(c.x() - 5 * u, r.top(), 10 * u, r.height()), Qt::white);
    p.fillRect(QRectF(r.left(), c.y() - 3 * u, r.width(), 6 * u), red);
    p.fillRect(QRectF(c.x() - 3 * u, r.top(), 6 * u, r.height()), red);
    p.restore();
}

// The flag band of the 512 x 512 pictures.
const QRect kBand(0, 128, 512, 256);

void DrawFra(QPainter& p) {
    VerticalStripes(p, kBand, {QColor(0, 35, 149), Qt::white, QColor(237, 41, 57)});
}
void DrawIta(QPainter& p) {
    VerticalStripes(p, kBand, {QColor(0, 146, 70), Qt::white, QColor(206, 43, 55)});
}
void DrawGer(QPainter& p) {
    HorizontalStripes(p, kBand, {Qt::black, QColor(221, 0, 0), QColor(255, 206, 0)});
}
void DrawNed(QPainter& p) {
    HorizontalStripes(p, kBand, {QColor(174, 28, 40), Qt::white, QColor(33, 70, 139)});
}
void DrawHun(QPainter& p) {
    HorizontalStripes(p, kBand, {QColor(205, 42, 62), Qt::white, QColor(67, 111, 77)});
}

void DrawJpn(QPainter& p) {
    p.fillRect(kBand, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(188, 0, 45));
    const double radius = kBand.height() * 3.0 / 10; // disc three fifths of the height
    p.drawEllipse(QRectF(kBand).center(), radius, radius);
}

void DrawChn(QPainter& p) {
    p.fillRect(kBand, QColor(238, 28, 37));
    p.setRenderHint(QPainter::Antialiasing);
    // The canton grid: 15 x 10 units in the upper hoist quarter of a 30 x 20 flag.
    const double u = kBand.height() / 20.0;
    const auto at = [&](double x, double y) { return QPointF(kBand.left() + x * u, kBand.top() + y * u); };
    const QColor yellow(255, 255, 0);
    const QPointF big = at(5, 5);
    FillStar(p, yellow, big, 3 * u);
    // Each small star points one tip at the centre of the big one.
    for (const QPointF small : {at(10, 2), at(12, 4), at(12, 7), at(10, 9)}) {
        const QPointF d = big - small;
        FillStar(p, yellow, small, u, 5, 0.381966, std::atan2(d.x(), -d.y()));
    }
}

void DrawKor(QPainter& p) {
    p.fillRect(kBand, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    const double h = kBand.height();
    const QPointF c = QRectF(kBand).center();
    // The emblems lie on the diagonals of the 3:2 flag they were designed for.
    const double tilt = std::atan2(2.0, 3.0);
    const double R = h / 4;
    const QColor red(205, 46, 58), blue(0, 71, 160);

    p.save();
    p.translate(c);
    p.rotate(tilt * 180 / kPi);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawEllipse(QPointF(0, 0), R, R);
    QPainterPath upper;
    upper.moveTo(-R, 0);
    upper.arcTo(QRectF(-R, -R, 2 * R, 2 * R), 180, -180);
    upper.closeSubpath();
    p.setBrush(red);
    p.drawPath(upper);
    // The swirl: red swells down at the hoist, blue up at the fly.
    p.drawEllipse(QPointF(-R / 2, 0), R / 2, R / 2);
    p.setBrush(blue);
    p.drawEllipse(QPointF(R / 2, 0), R / 2, R / 2);
    p.restore();

    // Trigrams: bars h/4 long, h/24 thick, h/48 apart, h/8 from the disc. true = unbroken bar,
    // listed from the bar nearest the disc outwards.
    const double barLength = h / 4, bar = h / 24, gap = h / 48;
    const double distance = R + h / 8 + (3 * bar + 2 * gap) / 2;
    struct Trigram {
        double angle; // direction from the centre, degrees, screen coordinates
        bool bars[3];
    };
    const double d = tilt * 180 / kPi;
    const Trigram trigrams[] = {
        {180 + d, {true, true, true}},  // geon, upper hoist
        {-d, {false, true, false}},     // gam, upper fly
        {d, {false, false, false}},     // gon, lower fly
        {180 - d, {true, false, true}}, // ri, lower hoist
    };
    p.setBrush(Qt::black);
    for (const Trigram& t : trigrams) {
        p.save();
        p.translate(c);
        p.rotate(t.angle);
        for (int i = 0; i < 3; ++i) {
            const double x = distance - (3 * bar + 2 * gap) / 2 + i * (bar + gap);
            if (t.bars[i]) {
                p.drawRect(QRectF(x, -barLength / 2, bar, barLength));
            } else {
                p.drawRect(QRectF(x, -barLength / 2, bar, (barLength - gap) / 2));
                p.drawRect(QRectF(x, gap / 2, bar, (barLength - gap) / 2));
            }
        }
        p.restore();
    }
}

void DrawUsa(QPainter& p) {
    // The American flag's band sits one row lower than the others.
    const QRect band = kBand.translated(0, 1);
    std::vector<QColor> stripes;
    for (int i = 0; i < 13; ++i)
        stripes.push_back(i % 2 == 0 ? QColor(178, 34, 52) : Qt::white);
    HorizontalStripes(p, band, stripes);
    const double h = band.height();
    const QRectF canton(band.left(), band.top(), 0.76 * h, h * 7 / 13);
    p.fillRect(canton, QColor(60, 59, 110));
    p.setRenderHint(QPainter::Antialiasing);
    const double radius = 0.0616 * h / 2;
    for (int row = 0; row < 9; ++row) {
        const int count = row % 2 == 0 ? 6 : 5;
        for (int i = 0; i < count; ++i) {
            const double x = canton.left() + canton.width() * (row % 2 == 0 ? 2 * i + 1 : 2 * i + 2) / 12;
            const double y = canton.top() + canton.height() * (row + 1) / 10;
            FillStar(p, Qt::white, QPointF(x, y), radius);
        }
    }
}

void DrawGbr(QPainter& p) {
    UnionFlag(p, kBand);
}

void DrawAus(QPainter& p) {
    p.fillRect(kBand, QColor(0, 0, 139));
    const double h = kBand.height();
    UnionFlag(p, QRectF(kBand.left(), kBand.top(), kBand.width() / 2.0, h / 2));
    p.setRenderHint(QPainter::Antialiasing);
    // The seven-pointed Commonwealth Star under the canton, and the Southern Cross in the fly.
    FillStar(p, Qt::white, QPointF(kBand.left() + kBand.width() / 4.0, kBand.top() + h * 3 / 4), 0.15 * h, 7,
             4.0 / 9);
    const double fly = kBand.left() + kBand.width() * 3.0 / 4;
    const double middle = kBand.top() + h / 2;
    const double crossStar = h / 14;
    FillStar(p, Qt::white, QPointF(fly, kBand.top() + h / 6), crossStar, 7, 4.0 / 9);               // gamma
    FillStar(p, Qt::white, QPointF(fly, kBand.top() + h * 5 / 6), crossStar, 7, 4.0 / 9);           // alpha
    FillStar(p, Qt::white, QPointF(fly - h / 4, middle - h / 16), crossStar, 7, 4.0 / 9);           // beta
    FillStar(p, Qt::white, QPointF(fly + 2 * h / 9, middle - 31 * h / 240), crossStar, 7, 4.0 / 9); // delta
    FillStar(p, Qt::white, QPointF(fly + h / 10, middle + h / 24), h / 24, 5);                      // epsilon
}

// Canada: red pales of a quarter of the width each, a red eleven-pointed maple leaf on the white
// square. The leaf outline is the one of the flag's construction sheet, in units of 1/2400 of
// the flag's height, from the bottom of the stem.
void DrawCan(QPainter& p) {
    VerticalStripes(p, kBand, {QColor(213, 43, 30), Qt::white, Qt::white, QColor(213, 43, 30)});
    static const double steps[][2] = {
        {45, -863},  {-111, -98}, {-859, 151},   {116, -320},  {-20, -73}, {-941, -762},
        {212, -99},  {34, -79},   {-186, -572},  {542, 115},   {73, -38},  {105, -247},
        {423, 454},  {111, -57},  {-204, -1052}, {327, 189},   {91, -27},  {332, -652},
        {332, 652},  {91, 27},    {327, -189},   {-204, 1052}, {111, 57},  {423, -454},
        {105, 247},  {73, 38},    {542, -115},   {-186, 572},  {34, 79},   {212, 99},
        {-941, 762}, {-20, 73},   {116, 320},    {-859, -151}, {-111, 98}, {45, 863},
    };
    QPolygonF leaf;
    QPointF at(-90, 2030);
    leaf << at;
    for (const auto& step : steps) {
        at += QPointF(step[0], step[1]);
        leaf << at;
    }
    // The sheet's flag is 4800 units high with the leaf's origin at its centre, 2400 from the top.
    const double scale = kBand.height() / 4800.0;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(QRectF(kBand).center().x(), kBand.top() + 2400 * scale);
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(213, 43, 30));
    p.drawPolygon(leaf);
    p.restore();
}

void DrawSui(QPainter& p) {
    const QRect square(106, 104, 300, 300);
    p.fillRect(square, QColor(218, 41, 28));
    // A cross of arms 6 units wide and 7 long around a 6-unit centre, on a 32-unit square.
    const double u = square.width() / 32.0;
    const QPointF c = QRectF(square).center();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRectF(c.x() - 10 * u, c.y() - 3 * u, 20 * u, 6 * u), Qt::white);
    p.fillRect(QRectF(c.x() - 3 * u, c.y() - 10 * u, 6 * u, 20 * u), Qt::white);
}

// Flags with soft side edges: the field covers half of its first and last column.
QRectF SoftField(int width, int top, int height) {
    return QRectF(0.5, top, width - 1.0, height);
}

void DrawRoc(QPainter& p) {
    const QRectF field = SoftField(512, 98, 316);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(field, Qt::white);
    const double cx = field.center().x();
    // The committee's emblem: a flame in the white, blue and red of the national flag over the
    // Olympic rings, centred in the rows the loader shows.
    QPainterPath flame;
    flame.moveTo(cx, 262);
    flame.cubicTo(cx - 80, 255, cx - 60, 180, cx + 15, 146);
    flame.cubicTo(cx - 5, 190, cx + 75, 190, cx + 55, 230);
    flame.cubicTo(cx + 45, 255, cx + 20, 262, cx, 262);
    flame.closeSubpath();
    const double top = 146, bottom = 262, third = (bottom - top) / 3;
    p.save();
    p.setClipPath(flame);
    p.fillRect(QRectF(cx - 100, top - 10, 200, third + 10), Qt::white);
    p.fillRect(QRectF(cx - 100, top + third, 200, third), QColor(0, 57, 166));
    p.fillRect(QRectF(cx - 100, top + 2 * third, 200, third + 10), QColor(213, 43, 30));
    p.restore();
    p.setPen(QPen(QColor(150, 150, 150), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flame);

    const double r = 24;
    const QColor ringColours[5] = {QColor(0, 129, 200), Qt::black, QColor(238, 51, 78), QColor(252, 177, 49),
                                   QColor(0, 166, 81)};
    const QPointF centres[5] = {{cx - 54, 300}, {cx, 300}, {cx + 54, 300}, {cx - 27, 324}, {cx + 27, 324}};
    for (int i = 0; i < 5; ++i) {
        p.setPen(QPen(ringColours[i], 6));
        p.drawEllipse(centres[i], r, r);
    }
}

void DrawKos(QPainter& p) {
    // Kosovo's flag is 1 : 1.4, 500 x 357 on its 500 x 500 picture.
    const QRectF field = SoftField(500, 71, 357);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(field, QColor(36, 74, 165));
    // The country's outline in degrees of longitude and latitude.
    static const double outline[][2] = {
        {20.80, 43.27}, {21.07, 43.12}, {21.25, 42.95}, {21.55, 42.90}, {21.78, 42.68},
        {21.63, 42.30}, {21.56, 42.25}, {21.30, 42.10}, {21.10, 42.20}, {20.75, 42.00},
        {20.58, 41.86}, {20.50, 42.02}, {20.35, 42.25}, {20.23, 42.33}, {20.07, 42.55},
        {20.22, 42.72}, {20.35, 42.83}, {20.50, 42.95}, {20.63, 43.00}, {20.60, 43.20},
    };
    // The map fills the middle of the field, about 170 pixels across.
    const double scale = 230 / 1.75;
    QPolygonF map;
    for (const auto& point : outline) {
        // Longitude degrees are shorter than latitude ones at 42.5 degrees north.
        map << QPointF(field.center().x() + (point[0] - 20.92) * scale * 0.737,
                       field.center().y() + 40 - (point[1] - 42.56) * scale);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(208, 167, 93));
    p.drawPolygon(map);
    // Six white stars in an arc over the map.
    for (int i = 0; i < 6; ++i) {
        const double a = (-50 + 20 * i) * kPi / 180;
        const QPointF star(field.center().x() + 170 * std::sin(a),
                           field.center().y() + 50 - 170 * std::cos(a));
        FillStar(p, Qt::white, star, 17);
    }
}

struct FlagDesign {
    const char* code;
    int size;
    std::function<void(QPainter&)> draw;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velk_flaggen <output folder>\n");
        return 2;
    }
    const FlagDesign designs[] = {
        {"ROC", 512, DrawRoc}, {"USA", 512, DrawUsa}, {"KOR", 512, DrawKor},  {"GBR", 512, DrawGbr},
        {"AUS", 512, DrawAus}, {"KOS", 500, DrawKos}, {"RCAN", 512, DrawCan}, {"CHN", 512, DrawChn},
        {"JPN", 512, DrawJpn}, {"HUN", 512, DrawHun}, {"NED", 512, DrawNed},  {"ITA", 512, DrawIta},
        {"GER", 512, DrawGer}, {"FRA", 512, DrawFra}, {"SUI", 512, DrawSui},
    };
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (const FlagDesign& design : designs) {
        QImage image(design.size, design.size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            design.draw(painter);
        }
        const QString path = folder + QLatin1Char('/') + QLatin1String(design.code) + QLatin1String(".png");
        if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
            std::fprintf(stderr, "velk_flaggen: cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
