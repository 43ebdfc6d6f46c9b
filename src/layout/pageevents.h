#pragma once
// The mouse and key events of the page, as the page's widgets raise them: the
// image controls' button, click and move events with the slot index, and the page
// surface's key presses. Positions are single-precision twips from the top-left
// corner of the control; Button is 1 left, 2 right, 4 middle (held buttons are
// added up in a move); Shift is 1 Shift, 2 Ctrl, 4 Alt.
//
// A click is a press and a release of the left button over the same photo
// (MouseDown, MouseUp, Click). In a double click the second press raises DblClick
// in its place, and its release raises MouseUp only. The pressed photo receives
// the moves until the release.
namespace vintrel {

class PageEvents {
public:
    virtual ~PageEvents() = default;
    virtual void Pic_MouseDown(int Index, int Button, int Shift, float X, float Y) = 0;
    virtual void Pic_MouseUp(int Index, int Button, int Shift, float X, float Y) = 0;
    virtual void Pic_Click(int Index) = 0;
    virtual void Pic_DblClick(int Index) = 0;
    virtual void Pic_MouseMove(int Index, int Button, int Shift, float X, float Y) = 0;
    virtual void Picture1_KeyDown(int KeyCode, int Shift) = 0;
};

// Key codes the page knows by name.
enum KeyCodes { vbKeyDelete = 46 };

} // namespace vintrel
