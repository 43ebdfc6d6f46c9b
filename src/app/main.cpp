#include <QApplication>

#include "frmmain.h"
#include "platform/ui.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vintrel"));
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    vintrel::QtUi ui;
    vintrel::frmMain form(ui);
    ui.setOwner(&form);
    if (!form.Form_Load())
        return 0;
    form.show();
    return app.exec();
}
