#include "msgbox.h"

#include "app.h"
#include "ui.h"

namespace vintrel {

MsgAnswer MsgBox(Ui &ui, const QString &text, MsgButtons buttons, MsgIcon icon)
{
    return ui.messageBox(App::Title(), text, buttons, icon);
}

} // namespace vintrel
