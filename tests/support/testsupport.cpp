#include "testsupport.h"

#include <unistd.h>

#include "layout/addphoto.h"

namespace vintrel::test {

MsgAnswer ScriptedUi::messageBox(const QString &title, const QString &text, MsgButtons buttons, MsgIcon icon,
                                 const QString &details)
{
    messages.append({title, text, buttons, icon, details});
    if (title != "Vintrel" || (buttons == MsgButtons::YesNo) != (icon == MsgIcon::Question))
        fault("a message against the house style: " + text, __LINE__);
    if (buttons == MsgButtons::Ok || (buttons == MsgButtons::OkFind && answers.isEmpty()))
        return MsgAnswer::Ok; // Find... is there to be chosen, never needed
    if (answers.isEmpty()) {
        fault("unexpected question: " + text, __LINE__);
        return MsgAnswer::No;
    }
    return answers.takeFirst();
}

std::optional<QStringList> ScriptedUi::fileDialog(const FileDialogRequest &request)
{
    fileRequests.append(request);
    if (files.isEmpty()) {
        fault("unexpected file dialog", __LINE__);
        return std::nullopt;
    }
    return files.takeFirst();
}

std::optional<QString> ScriptedUi::takePrinter(QList<std::optional<QString>> &queue, QPrinter &printer, bool &shrinkToFit)
{
    shrinkOffered.append(shrinkToFit);
    if (queue.isEmpty()) {
        fault("unexpected print dialog or preview", __LINE__);
        return std::nullopt;
    }
    if (paper)
        printer.setPageLayout(*paper);
    shrinkToFit = shrink.value_or(shrinkToFit);
    return queue.takeFirst();
}

void ScriptedUi::printOn(QPrinter &printer, const QString &answer) const
{
    if (answer.startsWith("printer:")) {
        printer.setPrinterName(answer.mid(8));
    } else {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(answer);
    }
    if (paper)
        printer.setPageLayout(*paper);
}

bool ScriptedUi::printDialog(QPrinter &printer, int flags, bool &shrinkToFit)
{
    printFlags.append(flags);
    const std::optional<QString> answer = takePrinter(printers, printer, shrinkToFit);
    if (answer)
        printOn(printer, *answer);
    return answer.has_value();
}

void ScriptedUi::printPreview(QPrinter &printer, bool &shrinkToFit, const PaintSheet &paint)
{
    const std::optional<QString> answer = takePrinter(previews, printer, shrinkToFit);
    // Its sheet as it shows it, a page filling the view; then what is printed from it.
    QPrintPreviewWidget preview(&printer);
    QtUi::wirePreview(preview, paint);
    preview.resize(900, 1100);
    preview.setZoomMode(QPrintPreviewWidget::FitInView);
    preview.updatePreview();
    previewed << preview.grab().toImage();
    if (answer)
        printOn(printer, *answer), preview.print();
}

QStringList ScriptedUi::said() const
{
    static const char *const icons[] = {"none", "stop", "question", "information"};
    QStringList out;
    for (const Message &m : messages)
        out << QString(icons[int(m.icon)]) + ": " + m.text;
    return out;
}

void ScriptedUi::checkUsedUp() const
{
    if (!answers.isEmpty() || !files.isEmpty() || !printers.isEmpty())
        fault("a scripted dialog answer was never used", __LINE__);
}

void ScriptedUi::fault(const QString &what, int line) const
{
    if (faults)
        faults->append(what);
    else
        QTest::qFail(qPrintable(what), __FILE__, line);
}

Desk::Desk()
{
    QVERIFY(form.Form_Load());
}

void Desk::run(const char *command)
{
    QAction *action = form.command(command);
    QVERIFY2(action, command);
    action->trigger();
}

void Desk::place(int i, const QString &path, float left, float top, float width, float height)
{
    recordPhoto(page, i, path);
    page.Pic(i).Move(left, top);
    page.Pic(i).setWidth(width);
    page.Pic(i).setHeight(height);
    page.Pic(i).setVisible(true);
}

bool Desk::drop(const QStringList &uris, QPoint at)
{
    QMimeData data;
    data.setData("text/uri-list", uris.join("\r\n").toUtf8() + "\r\n");
    const QPoint inWindow = page.surface()->mapTo(&form, at);
    QDragEnterEvent enter(inWindow, Qt::CopyAction, &data, Qt::LeftButton, {});
    QDropEvent drop(inWindow, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(form.windowHandle(), &enter);
    if (enter.isAccepted())
        QCoreApplication::sendEvent(form.windowHandle(), &drop);
    QCoreApplication::processEvents(); // the drop is taken once it is over
    return enter.isAccepted();
}

QString Desk::slot(int i) const
{
    const ImageControl &pic = page.Pic(i);
    auto n = [](double v) { return QString::number(v, 'g', 7); };
    return QString("%1 %2 %3 %4 at %5,%6 %7x%8 rank %9")
        .arg(QString(page.PicUsed[i] ? "used" : "free"), QString(pic.Visible() ? "shown" : "hidden"),
             QString(!pic.picture().isEmpty() ? "picture" : pic.missing().isEmpty() ? "empty" : "frame"),
             page.PicFile[i].isEmpty() ? "-" : QFileInfo(page.PicFile[i]).fileName(), n(pic.Left()), n(pic.Top()),
             n(pic.Width()), n(pic.Height()), n(page.PicZOrder[i]));
}

QString dataPath(const QString &name)
{
    return QStringLiteral(VINTREL_TEST_DATA) + QLatin1Char('/') + name;
}

QString writePicture(const QString &path, QSize pixels, const char *format, QColor colour)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(colour);
    if (!QDir().mkpath(QFileInfo(path).path()) || !image.save(path, format))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

Limit::Limit(int resource, rlim_t soft, bool when) : m_resource(resource)
{
    getrlimit(resource, &m_saved);
    rlimit lowered = m_saved;
    lowered.rlim_cur = when ? std::min(soft, m_saved.rlim_cur) : m_saved.rlim_cur;
    setrlimit(resource, &lowered);
}

QString tool(const QString &program, const QStringList &args, const QByteArray &input)
{
    QProcess p;
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput())
                                                                       : QString();
}

double difference(const QImage &a, const QImage &b)
{
    const QImage scaled = b.scaled(a.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    qint64 sum = 0; // of every channel's difference
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (const int shift : {16, 8, 0}) // red, green, blue
                sum += std::abs(int(a.pixel(x, y) >> shift & 0xFF) - int(scaled.pixel(x, y) >> shift & 0xFF));
    return double(sum) / (3.0 * std::max(1ll, qint64(a.width()) * a.height()));
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

long statusKb(const char *field)
{
    for (const QByteArray &line : readBytes("/proc/self/status").split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    return -1;
}

QString jpegTurned(const QString &path, QSize pixels)
{
    tool("exiftool", {"-q", "-overwrite_original", "-n", "-Orientation=6", writePicture(path, pixels, "JPG", Qt::darkYellow)});
    return path;
}

bool RanUnprivileged()
{
    if (::geteuid() != 0)
        return false;
    QString which = QString::fromUtf8(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        which += QLatin1Char(':') + QString::fromUtf8(QTest::currentDataTag());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), QDir::tempPath());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setWorkingDirectory(QDir::tempPath());
    child.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                            QStringLiteral("--clear-groups"), QStringLiteral("--"),
                                            QCoreApplication::applicationFilePath(), which});
    if (!child.waitForFinished(120000))
        child.kill();
    const QByteArray output = child.readAll();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        QTest::qFail(qPrintable("as the user nobody:\n" + QString::fromLocal8Bit(output)), __FILE__, __LINE__);
    return true;
}

void isolateEnvironment()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/vintrel-test-XXXXXX"));
    QDir(home.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(home.path() + QStringLiteral("/system-config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path() + QStringLiteral("/run")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace vintrel::test
