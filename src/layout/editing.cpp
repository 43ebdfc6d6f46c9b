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

Resized resize(char handle, float H, float W, double dx, double dy, double r, double q)
{
    Resized out{H, W};
    switch (handle) {
    case 'N': out = {H - dy, W - dy * r}; break;
    case 'S': out = {H + dy, W + dy * r}; break;
    case 'W': out = {H - dx * q, W - dx}; break;
    case 'E': out = {H + dx * q, W + dx}; break;
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
    page.history().markersNow = [this] { return m_markers; };
    page.history().showMarkers = [this](const std::optional<QRectF> &edges) { showMarkers(edges); };
}

void PageEditor::Pic_MouseDown(int Index, Qt::MouseButtons Button, Qt::KeyboardModifiers, float X, float Y)
{
    // Every press counts as a change, even one that moves nothing.
    m_page.LayoutSaved = false;
    m_page.CurPic = Index;
    m_page.bringToFront(Index);
    const ImageControl &pressed = m_page.Pic(Index);
    m_pressedAt = QRectF(pressed.Left(), pressed.Top(), pressed.Width(), pressed.Height());
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

void PageEditor::pressEnded(int Index)
{
    const ImageControl &pic = m_page.Pic(Index);
    const QRectF now(pic.Left(), pic.Top(), pic.Width(), pic.Height());
    m_page.history().commit(now.size() != m_pressedAt.size()       ? QStringLiteral("Resize")
                            : now.topLeft() != m_pressedAt.topLeft() ? QStringLiteral("Move")
                                                                     : QStringLiteral("Bring to Front"));
}

void PageEditor::drawRulerMarkers(int i)
{
    const ImageControl &pic = m_page.Pic(i);
    showMarkers(QRectF(pic.Left(), pic.Top(), pic.Width(), pic.Height()));
}

void PageEditor::showMarkers(const std::optional<QRectF> &edges)
{
    m_markers = edges;
    m_xRule.filledBox(0, 225, m_xRule.ScaleWidth(), 325, Qt::white);
    m_yRule.filledBox(225, 0, 325, m_yRule.ScaleHeight(), Qt::white);
    if (!edges)
        return;
    const float L = float(edges->left()), T = float(edges->top()), W = float(edges->width()), H = float(edges->height());
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
    // The pointer's travel in twips on the page, at the page's zoom.
    const QPoint p = m_ui.cursorPos();
    const double dx = double((p.x() - state.LastCursorPos.x()) * m_page.PixTwipsX) / m_page.zoom();
    const double dy = double((p.y() - state.LastCursorPos.y()) * m_page.PixTwipsY) / m_page.zoom();
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

void PageEditor::Picture1_KeyDown(int KeyCode, Qt::KeyboardModifiers Shift)
{
    // An arrow moves the current photo one screen pixel, Shift and an arrow ten.
    const int step = Shift & Qt::ShiftModifier ? 10 : 1;
    switch (KeyCode) {
    case Qt::Key_Delete: {
        const Recorded recorded(m_page, kRemoveStep);
        freeSlot(m_page, m_page.currentSlot());
        break;
    }
    case Qt::Key_Left: nudge(-step * m_page.PixTwipsX, 0); break;
    case Qt::Key_Right: nudge(step * m_page.PixTwipsX, 0); break;
    case Qt::Key_Up: nudge(0, -step * m_page.PixTwipsY); break;
    case Qt::Key_Down: nudge(0, step * m_page.PixTwipsY); break;
    default: break;
    }
}

void PageEditor::nudge(int dx, int dy)
{
    // Only a photo on the page; the nudges of one photo are one step.
    if (!m_page.CurPic || !m_page.PicUsed[*m_page.CurPic] || !m_page.Pic(*m_page.CurPic).Visible())
        return;
    constexpr int kNudgeSteps = 1000; // merge keys: this plus the slot
    ImageControl &pic = m_page.Pic(*m_page.CurPic);
    pic.Move(toSingle(double(pic.Left()) + dx), toSingle(double(pic.Top()) + dy));
    drawRulerMarkers(pic.Index());
    m_page.LayoutSaved = false;
    m_page.history().commit(QStringLiteral("Move"), kNudgeSteps + pic.Index());
}

} // namespace vintrel
