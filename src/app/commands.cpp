#include "commands.h"

#include "about.h"
#include "frmmain.h"
#include "layout/addphoto.h"
#include "layout/removal.h"
#include "layoutfile/layoutfile.h"
#include "pageview.h"
#include "print/printpage.h"
#include "scan/scanner.h"

#include <QAction>

namespace vintrel {

const Menu kMenus[5] = {
    {"mnuFile", "&File"}, {"mnuEdit", "&Edit"}, {"mnuView", "&View"}, {"mnuTwain", "&Twain"}, {"mnuHelp", "&Help"}};

// clang-format off
const Command kCommands[20] = {
    {"mnuNew", "mnuFile", "&New Layout", "", "New", "Start New Layout", "document-new", "new",
     [](frmMain &f) { mnuNew_Click(f.page(), f.ui()); }},
    {"mnuOpenPage", "mnuFile", "&Open Layout", "", "Open", "Open Layout", "document-open", "open",
     [](frmMain &f) { mnuOpenPage_Click(f.page(), f.cdDialog(), f.ui()); }},
    {"mnuSave", "mnuFile", "&Save Layout As...", "", "Save As", "Save Layout As...", "document-save-as", "save",
     [](frmMain &f) { mnuSave_Click(f.page(), f.cdDialog(), f.ui()); }},
    {"mnuAdd", "mnuFile", "&Add Photo", "", "Add", "Add Photo", "list-add", "add",
     [](frmMain &f) { mnuAdd_Click(f.page(), f.cdDialog(), f.ui()); }},
    {"mnuRemove", "mnuFile", "&Remove Photo", "", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { mnuRemove_Click(f.page()); }},
    // The toolbar's own Remove, which differs from the menu's.
    {"tbrRemove", nullptr, nullptr, "", "Remove", "Remove Photo", "list-remove", "remove",
     [](frmMain &f) { toolbarRemove(f.page()); }},
    {"mnuPrint", "mnuFile", "&Print Page", "", "Print", "Print Page", "document-print", "print",
     [](frmMain &f) { mnuPrint_Click(f.page(), f.cdDialog(), f.ui()); }},
    {"mnuPrintPreview", "mnuFile", "Print Pre&view...", "", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { mnuPrintPreview_Click(f.page(), f.ui()); }},
    {"mnuExit", "mnuFile", "E&xit", "", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.mnuExit_Click(); }},
    // Undo and Redo name the step they undo or redo after their caption.
    {"mnuUndo", "mnuEdit", "&Undo", "Ctrl+Z", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.page().history().undo(); }},
    {"mnuRedo", "mnuEdit", "&Redo", "Ctrl+Shift+Z; Ctrl+Y", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.page().history().redo(); }},
    {"mnuZoomIn", "mnuView", "Zoom &In", "Ctrl++; Ctrl+=", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.view().zoomIn(); }},
    {"mnuZoomOut", "mnuView", "Zoom &Out", "Ctrl+-", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.view().zoomOut(); }},
    {"mnuActualSize", "mnuView", "&Actual Size", "Ctrl+0", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.view().setZoom(1); }},
    {"mnuFitPage", "mnuView", "Fit &Page", "", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.view().setZoom(f.view().fitPageZoom()); }},
    // Checked while the page shows where the paper's printable area ends.
    {"mnuPrintableArea", "mnuView", "P&rintable Area", "", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.showPrintableArea(f.command("mnuPrintableArea")->isChecked()); }},
    {"mnuSelect", "mnuTwain", "&Select Source", "", "Source", "Select TWAIN Source", "scanner", "source",
     [](frmMain &f) { mnuSelect_Click(&f, f.ui()); }},
    // Source and Acquire would share the theme's one scanner: Acquire keeps its own picture.
    {"mnuacquire", "mnuTwain", "&Acquire", "", "Acquire", "Acquire Photo from TWAIN Source", nullptr, "acquire",
     [](frmMain &f) { mnuacquire_Click(f.page(), &f, f.ui()); }},
    {"mnuHelpTopics", "mnuHelp", "Help &Topics", "", "Help", "Read Help File", "help-contents", "help",
     [](frmMain &f) { mnuHelpTopics_Click(f.ui()); }},
    {"mnuAbout", "mnuHelp", "&About Vintrel", "", nullptr, nullptr, nullptr, nullptr,
     [](frmMain &f) { f.mnuAbout_Click(); }},
};
// clang-format on

const char *const kDispatchOrder[9] = {"New", "Add", "Print", "Remove", "Open", "Save As", "Help", "Source", "Acquire"};

} // namespace vintrel
