#include "prints.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QPainter>

namespace vintrel::scan {

namespace {

// Prints are looked for at about 100 dots an inch: fine enough for their
// corners to a quarter of a millimetre, and a fraction of a large scan's pixels.
constexpr double kLookingDpi = 100;
// Nothing closer to the glass than this many levels (of 255) stands apart from it.
constexpr int kLeastContrast = 24;
// A print covers at least this part of the rectangle around it.
constexpr double kLeastFill = 0.25;

// The scan, averaged over blocks of `factor` x `factor` pixels.
struct Shrunk {
    int width = 0, height = 0;
    std::vector<QRgb> pixels;
    QRgb at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

Shrunk shrink(const QImage &scan, int factor)
{
    const QImage rgb = scan.convertToFormat(QImage::Format_RGB32);
    Shrunk s;
    s.width = qMax(1, rgb.width() / factor);
    s.height = qMax(1, rgb.height() / factor);
    const int across = qMin(factor, rgb.width()), down = qMin(factor, rgb.height());
    s.pixels.resize(size_t(s.width) * size_t(s.height));
    std::vector<int> sums(size_t(s.width) * 3);
    for (int y = 0; y < s.height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int dy = 0; dy < down; ++dy) {
            const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y * factor + dy));
            for (int x = 0; x < s.width; ++x)
                for (int dx = 0; dx < across; ++dx) {
                    const QRgb p = line[x * factor + dx];
                    sums[size_t(x) * 3] += qRed(p);
                    sums[size_t(x) * 3 + 1] += qGreen(p);
                    sums[size_t(x) * 3 + 2] += qBlue(p);
                }
        }
        const int n = across * down;
        for (int x = 0; x < s.width; ++x)
            s.pixels[size_t(y) * size_t(s.width) + size_t(x)] =
                qRgb(sums[size_t(x) * 3] / n, sums[size_t(x) * 3 + 1] / n, sums[size_t(x) * 3 + 2] / n);
    }
    return s;
}

int median(std::vector<int> values)
{
    if (values.empty())
        return 0;
    auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

int apart(QRgb p, QRgb glass)
{
    return std::max({std::abs(qRed(p) - qRed(glass)), std::abs(qGreen(p) - qGreen(glass)),
                     std::abs(qBlue(p) - qBlue(glass))});
}

// What stands apart from the glass: the glass's colour is the median of the
// scan's border, a band `band` pixels wide, and its noise how far the border's
// pixels typically lie from it.
std::vector<char> standingApart(const Shrunk &s, int band)
{
    std::vector<QRgb> border;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            if (x < band || y < band || x >= s.width - band || y >= s.height - band)
                border.push_back(s.at(x, y));
    std::vector<int> r, g, b;
    for (QRgb p : border) {
        r.push_back(qRed(p));
        g.push_back(qGreen(p));
        b.push_back(qBlue(p));
    }
    const QRgb glass = qRgb(median(r), median(g), median(b));
    std::vector<int> spread;
    for (QRgb p : border)
        spread.push_back(apart(p, glass));
    const int threshold = std::max(kLeastContrast, 6 * median(spread));
    std::vector<char> mask(s.pixels.size());
    for (size_t i = 0; i < mask.size(); ++i)
        mask[i] = apart(s.pixels[i], glass) > threshold;
    return mask;
}

// The mask grown by `r` pixels each way (a square), so that parts of one
// print a little apart join.
std::vector<char> grown(const std::vector<char> &mask, int width, int height, int r)
{
    std::vector<char> across(mask.size()), out(mask.size());
    std::vector<int> count(size_t(std::max(width, height)) + 1);
    auto run = [&](const std::vector<char> &from, std::vector<char> &to, int lines, int length, auto index) {
        for (int l = 0; l < lines; ++l) {
            count[0] = 0;
            for (int i = 0; i < length; ++i)
                count[size_t(i) + 1] = count[size_t(i)] + from[index(l, i)];
            for (int i = 0; i < length; ++i)
                to[index(l, i)] = count[size_t(std::min(length, i + r + 1))] > count[size_t(std::max(0, i - r))];
        }
    };
    run(mask, across, height, width, [width](int y, int x) { return size_t(y) * size_t(width) + size_t(x); });
    run(across, out, width, height, [width](int x, int y) { return size_t(y) * size_t(width) + size_t(x); });
    return out;
}

struct Region {
    int left, top, right, bottom; // inclusive
    qint64 pixels = 0;            // of the mask, not the grown mask
    std::vector<std::pair<int, int>> rows; // each row's leftmost and rightmost mask pixel
};

// The convex hull of the points, anticlockwise on the screen.
std::vector<QPointF> hull(std::vector<QPointF> p)
{
    std::sort(p.begin(), p.end(), [](QPointF a, QPointF b) { return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y()); });
    if (p.size() < 3)
        return p;
    auto cross = [](QPointF o, QPointF a, QPointF b) {
        return (a.x() - o.x()) * (b.y() - o.y()) - (a.y() - o.y()) * (b.x() - o.x());
    };
    std::vector<QPointF> h(2 * p.size());
    size_t k = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0)
            --k;
        h[k++] = p[i];
    }
    for (size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(h[k - 2], h[k - 1], p[i - 1]) <= 0)
            --k;
        h[k++] = p[i - 1];
    }
    h.resize(k - 1);
    return h;
}

// The rectangle of least area around the hull: one of its sides lies along an
// edge of the hull.
Print smallestRectangle(const std::vector<QPointF> &h)
{
    Print best;
    double least = -1;
    for (size_t i = 0; i < h.size(); ++i) {
        const QPointF edge = h[(i + 1) % h.size()] - h[i];
        const double length = std::hypot(edge.x(), edge.y());
        if (length == 0)
            continue;
        const QPointF u = edge / length, v(-u.y(), u.x());
        double a0 = 1e300, a1 = -1e300, b0 = 1e300, b1 = -1e300;
        for (QPointF p : h) {
            const double a = QPointF::dotProduct(p, u), b = QPointF::dotProduct(p, v);
            a0 = std::min(a0, a), a1 = std::max(a1, a), b0 = std::min(b0, b), b1 = std::max(b1, b);
        }
        const double area = (a1 - a0) * (b1 - b0);
        if (least >= 0 && area >= least)
            continue;
        least = area;
        best.centre = u * ((a0 + a1) / 2) + v * ((b0 + b1) / 2);
        best.size = QSizeF(a1 - a0, b1 - b0);
        best.angle = std::atan2(u.y(), u.x()) * 180 / M_PI;
    }
    // Turned by no more than 45 degrees: a quarter turn more swaps the sides.
    while (best.angle > 45)
        best.angle -= 90, best.size.transpose();
    while (best.angle <= -45)
        best.angle += 90, best.size.transpose();
    return best;
}

void readingOrder(QList<Print> &prints)
{
    std::sort(prints.begin(), prints.end(),
              [](const Print &a, const Print &b) { return a.corners().boundingRect().top() < b.corners().boundingRect().top(); });
    // A row: the prints whose centres lie beside its first print.
    for (qsizetype first = 0; first < prints.size();) {
        const QRectF row = prints[first].corners().boundingRect();
        qsizetype end = first + 1;
        while (end < prints.size() && prints[end].centre.y() < row.bottom())
            ++end;
        std::sort(prints.begin() + first, prints.begin() + end,
                  [](const Print &a, const Print &b) { return a.centre.x() < b.centre.x(); });
        first = end;
    }
}

} // namespace

QPolygonF Print::corners() const
{
    const QRectF r(-size.width() / 2, -size.height() / 2, size.width(), size.height());
    return QTransform().translate(centre.x(), centre.y()).rotate(angle).map(QPolygonF(r));
}

QList<Print> findPrints(const QImage &scan, double pixelsPerMm)
{
    if (scan.isNull() || !(pixelsPerMm > 0))
        return {};
    // At most about four million pixels are looked at, whatever the scan says its resolution is.
    const double most = std::ceil(std::sqrt(double(scan.width()) * scan.height() / 4e6));
    const int factor = std::max({1, int(pixelsPerMm * 25.4 / kLookingDpi), int(most)});
    const double perMm = pixelsPerMm / factor;
    const Shrunk s = shrink(scan, factor);
    const int w = s.width, h = s.height;
    const std::vector<char> mask = standingApart(s, std::max(1, int(perMm)));
    const std::vector<char> joined = grown(mask, w, h, std::max(1, int(perMm)));

    // Connected regions of the grown mask, eight neighbours each.
    std::vector<int> label(mask.size(), -1);
    std::vector<Region> regions;
    std::vector<int> todo;
    for (int y0 = 0; y0 < h; ++y0)
        for (int x0 = 0; x0 < w; ++x0) {
            const size_t start = size_t(y0) * size_t(w) + size_t(x0);
            if (!joined[start] || label[start] >= 0)
                continue;
            Region r{x0, y0, x0, y0, 0, {}};
            const int id = int(regions.size());
            label[start] = id;
            todo.assign(1, int(start));
            while (!todo.empty()) {
                const int i = todo.back();
                todo.pop_back();
                const int x = i % w, y = i / w;
                r.left = std::min(r.left, x), r.right = std::max(r.right, x);
                r.top = std::min(r.top, y), r.bottom = std::max(r.bottom, y);
                r.pixels += mask[size_t(i)];
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        const size_t n = size_t(ny) * size_t(w) + size_t(nx);
                        if (nx >= 0 && ny >= 0 && nx < w && ny < h && joined[n] && label[n] < 0) {
                            label[n] = id;
                            todo.push_back(int(n));
                        }
                    }
            }
            regions.push_back(std::move(r));
        }

    // Only regions large enough to hold a print are measured.
    const double least = kLeastPrintMm * perMm;
    for (Region &r : regions)
        if (r.right - r.left + 1 >= least && r.bottom - r.top + 1 >= least)
            r.rows.assign(size_t(r.bottom - r.top + 1), {w, -1});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            if (!mask[i])
                continue;
            Region &r = regions[size_t(label[i])];
            if (r.rows.empty())
                continue;
            auto &row = r.rows[size_t(y - r.top)];
            row.first = std::min(row.first, x), row.second = std::max(row.second, x);
        }

    QList<Print> prints;
    for (const Region &r : regions) {
        std::vector<QPointF> points; // the corners of each row's end pixels
        for (size_t k = 0; k < r.rows.size(); ++k) {
            const auto [left, right] = r.rows[k];
            if (right < 0)
                continue;
            const double y = r.top + double(k);
            points.insert(points.end(), {{double(left), y}, {double(left), y + 1}, {right + 1.0, y}, {right + 1.0, y + 1}});
        }
        if (points.size() < 3)
            continue;
        Print p = smallestRectangle(hull(std::move(points)));
        if (p.size.width() < least || p.size.height() < least ||
            r.pixels < kLeastFill * p.size.width() * p.size.height())
            continue;
        p.centre *= factor;
        p.size *= factor;
        prints << p;
    }
    readingOrder(prints);
    return prints;
}

QImage cutOut(const QImage &scan, const Print &print)
{
    const double turn = std::round(print.angle);
    const QSize size(std::max(1, int(std::lround(print.size.width()))), std::max(1, int(std::lround(print.size.height()))));
    QImage out(size, QImage::Format_RGB32);
    out.fill(Qt::white);
    {
        QPainter painter(&out);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, turn != 0);
        painter.translate(size.width() / 2.0, size.height() / 2.0);
        painter.rotate(-turn);
        painter.translate(-print.centre);
        painter.drawImage(QPointF(0, 0), scan);
    }
    out.setDotsPerMeterX(scan.dotsPerMeterX());
    out.setDotsPerMeterY(scan.dotsPerMeterY());
    return out.convertToFormat(QImage::Format_RGB888);
}

} // namespace vintrel::scan
