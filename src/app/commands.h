#pragma once
// Every command of the main window, described once: the menu it stands in and
// its caption there, its shortcuts, its toolbar button's key, tooltip and
// picture, and what it runs. The menus, the toolbar and the toolbar's dispatch
// are built from this table; a new command is a new row.
namespace vintrel {

class frmMain;

struct Menu {
    const char *name;    // "mnuFile"
    const char *caption; // "&File"
};
// The menu bar, from left to right.
extern const Menu kMenus[5];

struct Command {
    const char *name;    // the action's object name: the menu item's ("mnuAdd"), or the toolbar's own
    const char *menu;    // the menu it stands in, in the order of this table; none for the toolbar's own
    const char *caption; // its caption in the menu
    const char *shortcuts; // "Ctrl+Z; Ctrl+Y", or ""
    const char *key;     // its toolbar button's key, also the button's caption; none when not on the toolbar
    const char *tooltip; // the button's tooltip
    const char *themedPicture; // the button's picture in the desktop's icon theme; none: always its own
    const char *ownPicture;    // the program's own drawing of it (data/pictures/NAME.svg)
    void (*run)(frmMain &window);
};
// The commands: menu items in their menus' order, toolbar buttons from the top.
extern const Command kCommands[20];

// The order in which the toolbar compares a pressed button's key with the keys.
extern const char *const kDispatchOrder[9];

} // namespace vintrel
