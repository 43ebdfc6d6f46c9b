#include "msgbox.h"

#include "app.h"
#include "ui.h"

namespace vintrel {

MsgAnswer MsgBox(Ui &ui, const QString &text, MsgButtons buttons, MsgIcon icon, const QString &details)
{
    return ui.messageBox(App::Title(), text, buttons, icon, details);
}

} // namespace vintrel
