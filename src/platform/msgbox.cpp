#include "msgbox.h"

#include "app.h"
#include "ui.h"

namespace vintrel {

int MsgBox(Ui &ui, const QString &text, int style)
{
    return ui.messageBox(App::Title(), text, style);
}

} // namespace vintrel
