#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPrinter>

#include "platform/msgbox.h"

namespace vintrel::test {

MsgAnswer ScriptedUi::messageBox(const QString &title, const QString &text, MsgButtons buttons, MsgIcon icon)
{
    messages.append({title, text, buttons, icon});
    if (buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    if (answers.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected question: ") + text), __FILE__, __LINE__);
        return MsgAnswer::No;
    }
    return answers.takeFirst();
}

std::optional<QString> ScriptedUi::fileDialog(const FileDialogRequest &request)
{
    fileRequests.append(request);
    if (files.isEmpty()) {
        QTest::qFail("unexpected file dialog", __FILE__, __LINE__);
        return std::nullopt;
    }
    return files.takeFirst();
}

bool ScriptedUi::printDialog(QPrinter &printer, int flags)
{
    printFlags.append(flags);
    if (printers.isEmpty()) {
        QTest::qFail("unexpected print dialog", __FILE__, __LINE__);
        return false;
    }
    const std::optional<QString> answer = printers.takeFirst();
    if (!answer)
        return false;
    if (answer->startsWith(QLatin1String("printer:"))) {
        printer.setPrinterName(answer->mid(8));
    } else {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(*answer);
    }
    return true;
}

QStringList ScriptedUi::texts() const
{
    QStringList out;
    for (const Message &m : messages)
        out << m.text;
    return out;
}

QString dataPath(const QString &name)
{
    return QStringLiteral(VINTREL_TEST_DATA) + QLatin1Char('/') + name;
}

QString writePicture(const QString &path, QSize pixels, const char *format, QColor colour)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(colour);
    if (!image.save(path, format))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray jpegWithOrientation(QSize pixels, int orientation)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    // An APP1 segment holding a big-endian TIFF header and one IFD entry:
    // tag 0x0112 (orientation), type SHORT, one value.
    QByteArray tiff("MM\0*\0\0\0\x08", 8);
    tiff += QByteArray("\0\x01", 2);                           // one entry
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);         // tag, type, count
    tiff += char(0) + QByteArray(1, char(orientation)) + QByteArray(2, '\0'); // value
    tiff += QByteArray(4, '\0');                               // no next IFD
    QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    const int length = app1.size() + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    segment += app1;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

void isolateEnvironment()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/vintrel-test-XXXXXX"));
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QDir(home.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path() + QStringLiteral("/run")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace vintrel::test
