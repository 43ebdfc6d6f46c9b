#include "paper.h"

#include <algorithm>

#include <QFile>
#include <QLocale>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/settings.h"
#include "printpage.h"

namespace vintrel {

namespace {
const QString kApplication = QStringLiteral("Vintrel");
const QString kSection = QStringLiteral("Print");

QString setting(const char *key) { return GetSetting(kApplication, kSection, QLatin1String(key)); }
void store(const char *key, const QString &value) { SaveSetting(kApplication, kSection, QLatin1String(key), value); }

// "a4", "Letter", "legal": the standard paper of that name, or an invalid size.
QPageSize paperNamed(QString name)
{
    name = name.trimmed().toLower();
    if (name.isEmpty())
        return QPageSize();
    for (int id = 0; id <= QPageSize::LastPageSize; ++id) {
        const auto size = QPageSize::PageSizeId(id);
        if (QPageSize::key(size).toLower() == name || QPageSize::name(size).toLower() == name)
            return QPageSize(size);
    }
    return QPageSize();
}

// The first word of a paper configuration file that is not a comment.
QString firstWordOf(const QString &path)
{
    QFile file(path);
    if (file.size() > 4096 || !file.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QByteArray word = line.simplified().split(' ').constFirst();
        if (!word.isEmpty() && !word.startsWith('#'))
            return QString::fromLatin1(word);
    }
    return QString();
}

QString numbers(std::initializer_list<double> values)
{
    QStringList out;
    for (double v : values)
        out << QString::number(v, 'g', 10);
    return out.join(QLatin1Char(' '));
}
std::vector<double> numbersIn(const QString &text, size_t count)
{
    std::vector<double> out;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const double v = word.toDouble(&ok);
        if (!ok || !(v >= 0 && v < 1e5))
            return {};
        out.push_back(v);
    }
    return out.size() == count ? out : std::vector<double>();
}
} // namespace

QPageSize systemPaper()
{
    for (const QString &name : {qEnvironmentVariable("PAPERSIZE"),
                                firstWordOf(qEnvironmentVariable("PAPERCONF", QStringLiteral("/etc/papersize")))}) {
        const QPageSize size = paperNamed(name);
        if (size.isValid())
            return size;
    }
    return QPageSize(QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4);
}

PaperSetup defaultPaper()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (!info.isNull()) {
        QPrinter printer(info, QPrinter::HighResolution);
        return {info.printerName(), printer.pageLayout(), false};
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(systemPaper());
    return {QString(), printer.pageLayout(), false};
}

PaperSetup rememberedPaper()
{
    PaperSetup paper = defaultPaper();
    const std::vector<double> size = numbersIn(setting("Size"), 2);
    const std::vector<double> margins = numbersIn(setting("Margins"), 4);
    const QString printer = setting("Printer");
    const bool printerThere = printer.isEmpty() || !QPrinterInfo::printerInfo(printer).isNull();
    if (!size.empty() && !margins.empty() && printerThere && size[0] > 0 && size[1] > 0) {
        paper.printerName = printer;
        paper.layout = QPageLayout(QPageSize(QSizeF(size[0], size[1]), QPageSize::Point, QString(),
                                             QPageSize::FuzzyMatch),
                                   setting("Orientation") == QLatin1String("landscape") ? QPageLayout::Landscape
                                                                                        : QPageLayout::Portrait,
                                   QMarginsF(margins[0], margins[1], margins[2], margins[3]), QPageLayout::Point);
    }
    paper.shrinkToFit = setting("ShrinkToFit") == QLatin1String("1");
    return paper;
}

void rememberPaper(const PaperSetup &paper)
{
    const QSizeF size = paper.layout.pageSize().size(QPageSize::Point);
    const QMarginsF m = paper.layout.margins(QPageLayout::Point);
    store("Printer", paper.printerName);
    store("Size", numbers({size.width(), size.height()}));
    store("Orientation", paper.layout.orientation() == QPageLayout::Landscape ? QStringLiteral("landscape")
                                                                              : QStringLiteral("portrait"));
    store("Margins", numbers({m.left(), m.top(), m.right(), m.bottom()}));
    store("ShrinkToFit", paper.shrinkToFit ? QStringLiteral("1") : QStringLiteral("0"));
}

PaperSetup paperOf(const QPrinter &printer, bool shrinkToFit)
{
    return {printer.outputFormat() == QPrinter::PdfFormat ? QString() : printer.printerName(), printer.pageLayout(),
            shrinkToFit};
}

void usePaper(QPrinter &printer, const PaperSetup &paper)
{
    if (!paper.printerName.isEmpty() && !QPrinterInfo::printerInfo(paper.printerName).isNull())
        printer.setPrinterName(paper.printerName);
    printer.setPageLayout(paper.layout);
}

QSizeF printableTwips(const QPageLayout &layout)
{
    return layout.paintRect(QPageLayout::Point).size() * 20;
}

QSizeF printableOnPage(const QPageLayout &layout)
{
    return printableTwips(layout) / kPrintScale;
}

double printScale(const std::vector<PrintItem> &atTrueSize, QSizeF printable, bool shrinkToFit)
{
    double fits = 1;
    if (shrinkToFit)
        for (const PrintItem &item : atTrueSize) {
            if (item.twips.right() > printable.width())
                fits = std::min(fits, printable.width() / item.twips.right());
            if (item.twips.bottom() > printable.height())
                fits = std::min(fits, printable.height() / item.twips.bottom());
        }
    return kPrintScale * fits;
}

bool reachesBeyond(const std::vector<PrintItem> &items, QSizeF printable)
{
    // A twip of paper either way is rounding, not a photo cut off.
    const QRectF area = QRectF(QPointF(0, 0), printable).adjusted(-1, -1, 1, 1);
    return std::any_of(items.begin(), items.end(), [&](const PrintItem &item) { return !item.twips.isEmpty() && !area.contains(item.twips); });
}

} // namespace vintrel
