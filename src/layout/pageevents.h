#pragma once
// The mouse and key events of the page, as the page's widgets raise them: the
// image controls' button, click and move events with the slot index, and the page
// surface's key presses (Qt key codes). Positions are single-precision twips from
// the top-left corner of the control. Button is the button that caused a press
// or release, and the buttons held during a move.
//
// A click is a press and a release of the left button over the same photo
// (MouseDown, MouseUp, Click). In a double click the second press raises DblClick
// in its place, and its release raises MouseUp only. The pressed photo receives
// the moves until the release, and pressEnded comes last.
#include <Qt>

namespace vintrel {

class PageEvents {
public:
    virtual ~PageEvents() = default;
    virtual void Pic_MouseDown(int Index, Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X, float Y) = 0;
    virtual void Pic_MouseUp(int Index, Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X, float Y) = 0;
    virtual void Pic_Click(int Index) = 0;
    virtual void Pic_DblClick(int Index) = 0;
    virtual void Pic_MouseMove(int Index, Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X, float Y) = 0;
    virtual void Picture1_KeyDown(int KeyCode, Qt::KeyboardModifiers Shift) = 0;
    // After everything a release raises (MouseUp, Click): the press is over.
    virtual void pressEnded(int Index) = 0;
};

} // namespace vintrel
