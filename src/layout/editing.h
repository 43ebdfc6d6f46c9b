#pragma once
// Editing the page with the mouse and the keyboard: pressing and clicking
// photos to select them, dragging to move them, dragging near an edge to resize
// them, the ruler markers that follow the photo under the pointer, the Delete
// key and nudging with the arrow keys. Each press, from the press to its
// release, is one step of the page's history, and so is each Delete; nudges of
// one photo that follow each other are one step.
#include <optional>
#include <QPoint>
#include <QRectF>

#include "pageevents.h"

namespace vintrel {

class Page;
class Ruler;
class Ui;

// Zones near a photo's edges, and the resizing that follows from them, as pure
// functions of the photo's size and the pointer.
namespace handles {

// The edge margin: 100 twips inside each edge; a point exactly 100 twips from an
// edge is in the interior.
constexpr float kMargin = 100;
// Resizing never makes a side smaller than this.
constexpr double kMinimum = 300;

// A press here is an edge press (arms a resize).
bool inMargin(float X, float Y, float W, float H);

struct Zone {
    int pointer;                  // 5 move, 6 and 8 diagonal, 7 vertical, 9 horizontal
    std::optional<char> handle;   // "N", "E", "S" or "W"; none in the interior
};
// The zone under the pointer: corners first, then edges, else the interior.
Zone zoneAt(float X, float Y, float W, float H);

struct Resized {
    double height, width;
    bool moveTop = false;  // the top edge follows by dy
    bool moveLeft = false; // the left edge follows by dx
};
// The new size after the pointer travelled dx, dy twips with the given handle;
// r is the width-to-height ratio, q the height-to-width ratio.
Resized resize(char handle, float H, float W, double dx, double dy, double r, double q);

} // namespace handles

// What a press leaves armed until its release.
struct PressState {
    bool Dragging = false;           // a left press: moves move or resize
    QPoint LastCursorPos;            // the pointer when last sampled, screen pixels
    std::optional<bool> Resizing;    // the press began in the edge margin
    bool HandleTracking = true;      // hovering updates the pointer and handle
    std::optional<char> ActiveHandle; // chosen by the last hover over a margin; never cleared
};

class PageEditor : public PageEvents {
public:
    PageEditor(Page &page, Ruler &xRule, Ruler &yRule, Ui &ui);

    void Pic_MouseDown(int Index, Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X, float Y) override;
    void Pic_MouseUp(int Index, Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X, float Y) override;
    void Pic_Click(int Index) override;
    void Pic_DblClick(int Index) override;
    void Pic_MouseMove(int Index, Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X, float Y) override;
    void Picture1_KeyDown(int KeyCode, Qt::KeyboardModifiers Shift) override;
    void pressEnded(int Index) override;

    PressState state;
    // Draws the rulers' edge markers again, as after a change of zoom.
    void redrawMarkers() { showMarkers(m_markers); }

private:
    void drawRulerMarkers(int i);
    // Marks these photo edges (twips) on the rulers, or clears the marks.
    void showMarkers(const std::optional<QRectF> &edges);
    void nudge(int dx, int dy);
    std::optional<QRectF> m_markers; // the edges the rulers mark
    QRectF m_pressedAt;              // the pressed photo's place and size at the press
    Page &m_page;
    Ruler &m_xRule;
    Ruler &m_yRule;
    Ui &m_ui;
};

} // namespace vintrel
