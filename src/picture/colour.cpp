#include "colour.h"

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QColorSpace>
#include <QFile>
#include <QMutex>

#include <lcms2.h>

namespace vintrel::colour {

namespace {

using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;
Profile wrap(cmsHPROFILE p) { return Profile(p, &cmsCloseProfile); }

// ITU-T H.273 colour primaries as CIE xy: red, green, blue, white.
std::optional<std::array<cmsCIExyY, 4>> primariesOf(int code)
{
    const cmsCIExyY d65{0.3127, 0.3290, 1};
    switch (code) {
    case 1: return std::array<cmsCIExyY, 4>{{{0.640, 0.330, 1}, {0.300, 0.600, 1}, {0.150, 0.060, 1}, d65}}; // BT.709, sRGB
    case 9: return std::array<cmsCIExyY, 4>{{{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}, d65}}; // BT.2020
    case 12: return std::array<cmsCIExyY, 4>{{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}, d65}}; // Display P3
    default: return std::nullopt;
    }
}

// ITU-T H.273 transfer characteristics as the curve from code values to light.
cmsToneCurve *curveOf(int code)
{
    switch (code) {
    case 2:  // not named: taken as sRGB
    case 13: { // sRGB
        const cmsFloat64Number p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    }
    case 1: case 6: case 14: case 15: { // BT.709 and its kin
        const cmsFloat64Number p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    }
    case 8: return cmsBuildGamma(nullptr, 1.0); // linear
    case 4: return cmsBuildGamma(nullptr, 2.2);
    case 5: return cmsBuildGamma(nullptr, 2.8);
    default: return nullptr; // PQ, HLG and the rest: not converted
    }
}

Profile nclxProfile(int primaries, int transfer)
{
    const auto xy = primariesOf(primaries);
    cmsToneCurve *curve = curveOf(transfer);
    if (!xy || !curve) {
        if (curve)
            cmsFreeToneCurve(curve);
        return wrap(nullptr);
    }
    const cmsCIExyYTRIPLE rgb{(*xy)[0], (*xy)[1], (*xy)[2]};
    cmsToneCurve *curves[3] = {curve, curve, curve};
    Profile p = wrap(cmsCreateRGBProfile(&(*xy)[3], &rgb, curves));
    cmsFreeToneCurve(curve);
    return p;
}

bool srgbByName(const Source &s)
{
    if (s.cmyk)
        return false;
    if (!s.icc.isEmpty()) {
        // A profile Qt reads as sRGB itself needs no transform.
        const QColorSpace space = QColorSpace::fromIccProfile(s.icc);
        return space.isValid() && space == QColorSpace(QColorSpace::SRgb);
    }
    return s.primaries == 0 || (s.primaries == 1 && (s.transfer == 13 || s.transfer == 2));
}

// The transforms built lately, by what they convert from, shared by the
// decoding threads (Little CMS transforms without the one-pixel cache may run
// on several threads at once). A handful of profiles make a run; a file of
// profiles never seen before cannot make the list grow without end.
using Transform = std::shared_ptr<void>;

struct Transforms {
    static constexpr size_t kKept = 16;
    QMutex mutex;
    std::map<QByteArray, Transform> built;
    std::vector<QByteArray> order; // oldest first

    Transform get(const Source &s, bool alpha)
    {
        QByteArray key = s.icc;
        key += QByteArray::number(s.primaries) + '/' + QByteArray::number(s.transfer) + '/' + char('0' + s.cmyk) +
               char('0' + s.inverted) + char('0' + alpha);
        QMutexLocker locked(&mutex);
        if (const auto found = built.find(key); found != built.end())
            return found->second;
        Profile from = wrap(nullptr);
        if (!s.icc.isEmpty())
            from = wrap(cmsOpenProfileFromMem(s.icc.constData(), cmsUInt32Number(s.icc.size())));
        else if (s.cmyk)
            from = wrap(cmsOpenProfileFromFile(QFile::encodeName(defaultCmykProfile()).constData(), "r"));
        else
            from = nclxProfile(s.primaries, s.transfer);
        Transform transform;
        const cmsColorSpaceSignature wanted = s.cmyk ? cmsSigCmykData : cmsSigRgbData;
        if (from && cmsGetColorSpace(from.get()) == wanted) {
            Profile srgb = wrap(cmsCreate_sRGBProfile());
            const cmsUInt32Number in = s.cmyk ? (s.inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8) : TYPE_BGRA_8;
            if (cmsHTRANSFORM made = cmsCreateTransform(from.get(), in, srgb.get(), TYPE_BGRA_8, INTENT_PERCEPTUAL,
                                                         cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE |
                                                             (alpha ? cmsFLAGS_COPY_ALPHA : 0)))
                transform = Transform(made, &cmsDeleteTransform);
        }
        if (order.size() == kKept) {
            built.erase(order.front());
            order.erase(order.begin());
        }
        built[key] = transform;
        order.push_back(key);
        return transform;
    }
};

Transforms &transforms()
{
    static Transforms all;
    return all;
}

// Each ink darkens its colour; Adobe's inverted inks count down.
void plainCmyk(QImage &image, bool inverted)
{
    for (int y = 0; y < image.height(); ++y) {
        QRgb *px = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const uchar *c = reinterpret_cast<const uchar *>(px + x);
            const int k = c[3];
            px[x] = inverted ? qRgb(c[0] * k / 255, c[1] * k / 255, c[2] * k / 255)
                             : qRgb((255 - c[0]) * (255 - k) / 255, (255 - c[1]) * (255 - k) / 255,
                                    (255 - c[2]) * (255 - k) / 255);
        }
    }
}

} // namespace

QString defaultCmykProfile()
{
    static const QString found = [] {
        for (const char *path : {"/usr/share/color/icc/ghostscript/default_cmyk.icc",
                                 "/usr/share/color/icc/ghostscript/ps_cmyk.icc"})
            if (QFile::exists(QLatin1String(path)))
                return QString::fromLatin1(path);
        return QString();
    }();
    return found;
}

QImage toSrgb(QImage image, const Source &source)
{
    if (image.isNull() || srgbByName(source))
        return image;
    const bool alpha = !source.cmyk && image.hasAlphaChannel();
    if (!source.cmyk)
        image = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    Transform transform = transforms().get(source, alpha);
    if (!transform && source.cmyk && !source.icc.isEmpty()) {
        Source byDefault = source; // a profile that is broken or not CMYK: the default one
        byDefault.icc.clear();
        transform = transforms().get(byDefault, false);
    }
    if (!transform) {
        if (source.cmyk)
            plainCmyk(image, source.inverted);
        return image;
    }
    QImage out(image.size(), image.format());
    if (out.isNull())
        return image;
    for (int y = 0; y < image.height(); ++y)
        cmsDoTransform(transform.get(), image.constScanLine(y), out.scanLine(y), cmsUInt32Number(image.width()));
    if (!alpha) // what the alpha byte of RGB32 must be
        for (int y = 0; y < out.height(); ++y) {
            QRgb *px = reinterpret_cast<QRgb *>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                px[x] |= 0xFF000000u;
        }
    return out;
}

} // namespace vintrel::colour
