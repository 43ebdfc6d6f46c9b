#include "about.h"

#include "buildinfo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QUrl>

#include "platform/twips.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/ui.h"

namespace vintrel {

QString helpDocument()
{
    QStringList places{App::Path() + QStringLiteral("/readme.htm"),
                       QDir::cleanPath(App::Path() + QStringLiteral("/" VINTREL_DATA_FROM_PROGRAM "/readme.htm"))};
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        places << data + QStringLiteral("/vintrel/readme.htm");
    for (const QString &place : places)
        if (QFileInfo(place).isFile())
            return place;
    return {};
}

void mnuHelpTopics_Click(Ui &ui)
{
    const QString document = helpDocument();
    if (document.isEmpty())
        MsgBox(ui, QStringLiteral("The help file readme.htm is missing from %1.").arg(QDir::toNativeSeparators(App::Path())),
               MsgButtons::Ok, MsgIcon::Information);
    else if (!ui.openUrl(QUrl::fromLocalFile(document)))
        MsgBox(ui, QStringLiteral("No program is set up to show %1.").arg(document), MsgButtons::Ok, MsgIcon::Information);
}

bool GetKeyValue(registry::Key KeyRoot, const QString &KeyName, const QString &SubKeyRef, QString &KeyVal)
{
    using namespace registry;
    Key hKey = 0;
    std::int32_t type = 0;
    auto failed = [&] {
        KeyVal.clear();
        RegCloseKey(hKey);
        return false;
    };
    if (RegOpenKeyEx(KeyRoot, KeyName, 0, KEY_ALL_READ_WRITE, hKey) != ERROR_SUCCESS)
        return failed();
    char buffer[1024] = {};
    std::int32_t size = sizeof buffer;
    if (RegQueryValueEx(hKey, SubKeyRef, 0, type, buffer, size) != ERROR_SUCCESS)
        return failed();
    // The last byte stored goes when it is 0 (a string's end, or a number's
    // highest byte).
    const QByteArray kept(buffer, size > 0 && buffer[size - 1] == 0 ? size - 1 : size);
    if (type == REG_SZ) {
        KeyVal = QString::fromLocal8Bit(kept);
    } else if (type == REG_DWORD) {
        for (qsizetype i = kept.size() - 1; i >= 0; --i)
            KeyVal += QString::number(uchar(kept[i]), 16).toUpper();
        KeyVal.prepend(QStringLiteral("&h"));
    }
    RegCloseKey(hKey);
    return true;
}

void StartSysInfo(Ui &ui)
{
    QString p;
    auto start = [&](const QString &commandLine) {
        QStringList words = QProcess::splitCommand(commandLine);
        if (words.isEmpty())
            return false;
        const QString program = words.takeFirst();
        return ui.startProgram(program, words);
    };
    if (GetKeyValue(registry::HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), p)) {
        if (start(p))
            return;
    } else if (GetKeyValue(registry::HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                           QStringLiteral("MSINFO"), p)) {
        const QString program = p + QStringLiteral("/MSINFO32.EXE");
        if (QFileInfo(program).isFile() && ui.startProgram(program, {}))
            return;
    }
    MsgBox(ui, QStringLiteral("System Information Is Unavailable At This Time"), MsgButtons::Ok, MsgIcon::None);
}

namespace {
QLabel *label(QWidget *box, const char *name, const QString &text, QRect twips, Qt::Alignment align = Qt::AlignHCenter)
{
    auto *l = new QLabel(text, box);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(pixelRect(twips.x(), twips.y(), twips.width(), twips.height()));
    l->setAlignment(align | Qt::AlignTop);
    return l;
}
QFont sansSerif(double points, bool bold, bool underline)
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}
} // namespace

frmAbout::frmAbout(Ui &ui, QWidget *parent) : QDialog(parent), m_ui(ui)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose); // closing unloads it
    setFixedSize(pixelsX(6270), pixelsY(3855));
    m_title = label(this, "lblTitle", {}, {1050, 120, 3885, 480});
    m_title->setFont(sansSerif(13.5, true, false));
    m_version = label(this, "lblVersion", {}, {1050, 600, 3885, 225});
    label(this, "Label2", QStringLiteral("News, help and new versions of Vintrel are at:"), {0, 1440, 6255, 255});
    m_link = label(this, "Label3", QLatin1String(kWebAddress), {1080, 1680, 3855, 375});
    m_link->setFont(sansSerif(13.5, false, true));
    QPalette blue = m_link->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_link->setPalette(blue);
    m_link->setMouseTracking(true);
    m_link->installEventFilter(this);
    label(this, "Label1", QStringLiteral("Copyright \u00A9 the Vintrel developers. All rights reserved."),
          {0, 2160, 6255, 255});
    QLabel *warning = label(this, "lblDisclaimer",
                            QStringLiteral("Warning: this program is protected by copyright law. Copying or "
                                           "distributing it, or any part of it, against the terms of its licence "
                                           "may be prosecuted to the full extent of the law."),
                            {255, 2625, 4350, 1185}, Qt::AlignLeft);
    warning->setWordWrap(true);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(pixelRect(4800, 2640, 1260, 345));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    auto *sysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    sysInfo->setGeometry(pixelRect(4800, 3120, 1245, 345));
    connect(sysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });
    Form_Load();
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + App::Title());
    m_title->setText(App::Title());
    m_version->setText(QStringLiteral("Version %1.%2.%3").arg(VINTREL_VERSION_MAJOR).arg(VINTREL_VERSION_MINOR).arg(VINTREL_VERSION_PATCH));
    centreByOuterSize(this, [](QSize outer) {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        return QPoint((screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2);
    });
}

void frmAbout::Label3_Click()
{
    m_ui.openUrl(QUrl(QLatin1String(kWebAddress)));
}

void frmAbout::Label3_DblClick()
{
    m_ui.openUrl(QUrl(QLatin1String(kWebAddress)));
}

void frmAbout::Label3_MouseMove()
{
    // A pointing hand, 32 x 32, its hot spot at the tip of the index finger.
    static const QCursor hand = [] {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        QSvgRenderer(QStringLiteral(":/pictures/hand.svg")).render(&painter);
        return QCursor(pixmap, 12, 1);
    }();
    m_link->setCursor(hand);
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_link) {
        if (event->type() == QEvent::MouseMove)
            Label3_MouseMove();
        else if (event->type() == QEvent::MouseButtonRelease && !m_afterDoubleClick &&
                 m_link->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint()))
            Label3_Click();
        else if (event->type() == QEvent::MouseButtonDblClick)
            Label3_DblClick();
        // The release that ends a double click is no click of its own.
        if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick)
            m_afterDoubleClick = event->type() == QEvent::MouseButtonDblClick;
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // The etched separator: a grey line over a white one.
    QPainter p(this);
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawLine(pixelPoint(90, 2445), pixelPoint(5654, 2445));
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(pixelPoint(105, 2460), pixelPoint(5654, 2460));
}

void centreByOuterSize(QWidget *window, std::function<QPoint(QSize outer)> place)
{
    // The frame is known only once the window manager has put it round the
    // window; until then the outer size is the window's own.
    struct Centring : QObject {
        QWidget *window;
        std::function<QPoint(QSize)> place;
        QSize placedFor;
        QElapsedTimer shown;
        bool eventFilter(QObject *, QEvent *event) override
        {
            const auto type = event->type();
            if (type == QEvent::Show)
                shown.start();
            if ((type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize) && shown.isValid()) {
                if (shown.elapsed() > 3000) {
                    deleteLater();
                } else if (window->frameGeometry().size() != placedFor) {
                    placedFor = window->frameGeometry().size();
                    window->move(place(placedFor));
                }
            }
            return false;
        }
    };
    const QString name = QStringLiteral("centring by outer size");
    delete window->findChild<QObject *>(name, Qt::FindDirectChildrenOnly);
    auto *centring = new Centring;
    centring->setObjectName(name);
    centring->setParent(window);
    centring->window = window;
    centring->place = std::move(place);
    centring->placedFor = window->frameGeometry().size();
    window->move(centring->place(centring->placedFor));
    if (window->isVisible())
        centring->shown.start();
    window->installEventFilter(centring);
}

} // namespace vintrel
