#include "editing.h"

#include <cmath>

#include "page.h"
#include "platform/ui.h"
#include "platform/rounding.h"
#include "removal.h"
#include "ruler.h"

namespace vintrel {

namespace handles {

namespace {
// W - 100 and H - 100 are taken in single precision before comparing.
float far(float side) { return toSingle(double(side) - kMargin); }
} // namespace

bool inMargin(float X, float Y, float W, float H)
{
    return Y < kMargin || Y > far(H) || X < kMargin || X > far(W);
}

Zone zoneAt(float X, float Y, float W, float H)
{
    const bool left = X < kMargin, right = X > far(W), top = Y < kMargin, bottom = Y > far(H);
    if (left && top)
        return {8, 'N'};
    if (right && bottom)
        return {8, 'S'};
    if (right && top)
        return {6, 'E'};
    if (left && bottom)
        return {6, 'W'};
    if (top)
        return {7, 'N'};
    if (bottom)
        return {7, 'S'};
    if (left)
        return {9, 'W'};
    if (right)
        return {9, 'E'};
    return {5, std::nullopt};
}

Resized resize(char handle, float H, float W, std::int32_t dx, std::int32_t dy, double r, double q)
{
    Resized out{H, W};
    switch (handle) {
    case 'N': out = {H - double(dy), W - double(dy) * r}; break;
    case 'S': out = {H + double(dy), W + double(dy) * r}; break;
    case 'W': out = {H - double(dx) * q, W - double(dx)}; break;
    case 'E': out = {H + double(dx) * q, W + double(dx)}; break;
    default: return out;
    }
    if (out.height < kMinimum)
        out.height = kMinimum;
    if (out.width < kMinimum)
        out.width = kMinimum;
    // The top or left edge follows the pointer only while its side is above the minimum.
    out.moveTop = handle == 'N' && out.height > kMinimum;
    out.moveLeft = handle == 'W' && out.width > kMinimum;
    return out;
}

} // namespace handles

PageEditor::PageEditor(Page &page, Ruler &xRule, Ruler &yRule, Ui &ui)
    : m_page(page), m_xRule(xRule), m_yRule(yRule), m_ui(ui)
{
}

void PageEditor::Pic_MouseDown(int Index, Qt::MouseButtons Button, Qt::KeyboardModifiers, float X, float Y)
{
    // Every press counts as a change, even one that moves nothing.
    m_page.LayoutSaved = false;
    m_page.CurPic = Index;
    m_page.bringToFront(Index);
    if (Button == Qt::LeftButton) { // the left button alone
        state.LastCursorPos = m_ui.cursorPos();
        state.Dragging = true;
    }
    const ImageControl &pic = m_page.Pic(Index);
    if (handles::inMargin(X, Y, pic.Width(), pic.Height())) {
        state.Resizing = true;
        state.HandleTracking = false;
    }
}

void PageEditor::Pic_MouseUp(int, Qt::MouseButtons, Qt::KeyboardModifiers, float, float)
{
    state.HandleTracking = true;
    state.Dragging = false;
    state.Resizing = false;
}

void PageEditor::Pic_Click(int Index)
{
    m_page.bringToFront(Index);
    m_page.CurPic = Index;
    m_page.clearSelectionLook();
    ImageControl &pic = m_page.Pic(m_page.currentSlot());
    pic.setBorderStyle(1);
    pic.setAppearance(1);
}

void PageEditor::Pic_DblClick(int) {}

void PageEditor::drawRulerMarkers(int i)
{
    const ImageControl &pic = m_page.Pic(i);
    const float L = pic.Left(), T = pic.Top(), W = pic.Width(), H = pic.Height();
    m_xRule.filledBox(0, 225, m_xRule.ScaleWidth(), 325, Qt::white);
    m_yRule.filledBox(225, 0, 325, m_yRule.ScaleHeight(), Qt::white);
    m_yRule.Line(225, T, 325, T, Qt::black);
    m_xRule.Line(L, 225, L, 325, Qt::black);
    m_yRule.Line(225, toSingle(double(T) + H), 325, toSingle(double(T) + H), Qt::black);
    m_xRule.Line(toSingle(double(L) + W), 225, toSingle(double(L) + W), 325, Qt::black);
}

void PageEditor::Pic_MouseMove(int Index, Qt::MouseButtons, Qt::KeyboardModifiers, float X, float Y)
{
    // The markers show the photo's edges as they were before this move.
    drawRulerMarkers(Index);
    ImageControl &pic = m_page.Pic(Index);

    if (state.HandleTracking) {
        const handles::Zone zone = handles::zoneAt(X, Y, pic.Width(), pic.Height());
        pic.setMousePointer(zone.pointer);
        if (zone.handle)
            state.ActiveHandle = zone.handle;
    }

    if (!state.Dragging)
        return;
    const QPoint p = m_ui.cursorPos();
    const std::int32_t dx = (p.x() - state.LastCursorPos.x()) * m_page.PixTwipsX;
    const std::int32_t dy = (p.y() - state.LastCursorPos.y()) * m_page.PixTwipsY;
    state.LastCursorPos = p;
    if (!state.Resizing.value_or(false)) {
        pic.Move(toSingle(double(pic.Left()) + dx), toSingle(double(pic.Top()) + dy));
        return;
    }
    if (!state.ActiveHandle)
        return; // no handle chosen yet: nothing to resize from
    const handles::Resized size = handles::resize(*state.ActiveHandle, pic.Height(), pic.Width(), dx, dy,
                                                  m_page.PicRatioWH.at(Index).value,
                                                  m_page.PicRatioHW.at(Index).value);
    // A ratio read from a file may be as large as a double holds: a size
    // beyond single precision is not taken, and the photo keeps its size.
    const float height = toSingle(size.height), width = toSingle(size.width);
    if (!std::isfinite(height) || !std::isfinite(width))
        return;
    pic.setHeight(height);
    pic.setWidth(width);
    if (size.moveTop)
        pic.setTop(toSingle(double(pic.Top()) + dy));
    if (size.moveLeft)
        pic.setLeft(toSingle(double(pic.Left()) + dx));
}

void PageEditor::Picture1_KeyDown(int KeyCode, Qt::KeyboardModifiers)
{
    if (KeyCode == Qt::Key_Delete)
        freeSlot(m_page, m_page.currentSlot());
}

} // namespace vintrel
