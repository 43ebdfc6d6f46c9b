#pragma once
// The page being edited: the photo slot table and the 30 image controls that
// show it on the page surface. Slot i is always shown by Pic(i). Every command
// that edits, saves, opens or prints the page works on one Page.
#include <array>
#include <memory>
#include <optional>
#include <functional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QWidget>

#include "history.h"
#include "imagecontrol.h"
#include "ratio.h"
#include "pageevents.h"
#include "picture/picture.h"

namespace vintrel {

// The hidden, self-sizing picture holder that measures a picture's natural size:
// its width and height become the picture's pixel size in screen twips.
struct SizeProbe {
    Picture picture;
    float Width = 735;
    float Height = 615;
    void setPicture(const Picture &p);
    // The size in twips the probe takes for a picture of that many pixels.
    static QSizeF twipsOf(QSize pixels);
};

// How the page's twips fall on the screen's device pixels at the page's zoom:
// a value, so that decoding threads may use it.
struct PixelScale {
    double twipsPerPixelX = 15, twipsPerPixelY = 15;
    double ratio = 1; // device pixels per pixel, times the zoom
    // How many device pixels a photo of that size in twips covers, 1 to
    // Picture::kLargestCopy a side.
    QSize devicePixels(QSizeF twips) const;
    // The size in twips the size probe takes for a picture of that many pixels.
    QSizeF twipsOf(QSize pixels) const;
};

// The page surface: a 5740 x 7455 twip sheet that holds the image controls.
// It takes the keyboard focus when clicked, and its photos' events go to `events`.
// Files may be dropped on it from a file manager.
class PageSurface : public QWidget {
public:
    explicit PageSurface(QWidget *parent = nullptr);
    static constexpr float kWidth = 5740;
    static constexpr float kHeight = 7455;
    PageEvents *events = nullptr;
    // Receives the files of a drop once the drop is over, with the point they
    // were dropped at in twips on the page. A drop is taken, as a copy, only
    // when every item it carries is a local file, and not while the program
    // waits for work or a dialog is open.
    std::function<void(const QStringList &paths, QPointF at)> onDrop;
    // How many times its actual size the page is shown at (Page::setZoom).
    double zoom() const { return m_zoom; }
    // Where the paper's printable area ends, in twips from the page's corner:
    // a line there, over the photos, and a light shade beyond it.
    void setPrintableArea(QSizeF twips);
    QSizeF printableArea() const { return m_printable; }
    void setPrintableAreaShown(bool shown);
    // Draws the line and the shade for a part of the surface, onto a painter
    // whose origin stands at `origin` on the surface (a photo's own painting).
    void paintPrintableArea(QPainter &painter, QPoint origin) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    std::optional<QStringList> droppable(const QDropEvent *event) const;
    void repaintWithPhotos();
    friend class Page;
    double m_zoom = 1;
    QSizeF m_printable{kWidth, kHeight};
    bool m_printableShown = true;
};

class Page {
public:
    static constexpr int kPhotos = 30;   // slots 0 to 29 hold photos
    static constexpr int kEntries = 36;  // the per-slot arrays run 0 to 35

    explicit Page(QWidget *parent = nullptr);
    ~Page();
    Page(const Page &) = delete;
    Page &operator=(const Page &) = delete;

    // The slot table.
    std::array<bool, kEntries> PicUsed{};
    std::array<QString, kEntries> PicFile;
    std::array<Ratio, kEntries> PicRatioHW{};
    std::array<Ratio, kEntries> PicRatioWH{};
    std::array<double, kEntries> PicZOrder{}; // stacking stamps; whole unless read from a file
    std::optional<int> CurPic;                // unset until a photo is placed or pressed
    double ZOrderCount = 0;                   // the last stamp handed out
    bool LayoutSaved = true;
    std::int32_t PixTwipsX = 15;
    std::int32_t PixTwipsY = 15;
    QString LastPath;

    // The image control of slot i, 0 to 29; any other index throws RuntimeError.
    ImageControl &Pic(int i);
    const ImageControl &Pic(int i) const;
    // The current photo, with an unset CurPic counting as slot 0.
    int currentSlot() const { return CurPic.value_or(0); }

    SizeProbe ImageLoader;
    // The page surface Picture1, parent of every image control.
    PageSurface *surface() const { return m_surface; }
    // The page, its photos and their borders shown `zoom` times their actual
    // size (1): widgets stand at twips / twips-per-pixel times the zoom. The
    // twips of the slot table never change with it.
    double zoom() const { return m_surface->zoom(); }
    void setZoom(double zoom);

    // The bring-to-front step: Pic(i) in front of its siblings, ZOrderCount up
    // by one, and that count as the slot's stamp. A layout file holds ranks to
    // 15 digits: before the count would pass them, the whole ranks from 1 to
    // the count are numbered again from 1, in their order (equal ones stay
    // equal), and the count follows.
    void bringToFront(int i);
    static constexpr double kLastExactRank = 999'999'999'999'999;
    // Every control, one after the other, to the flat look with no border.
    void clearSelectionLook();
    // The slots whose stacking rank is a whole number from `lowest` up to
    // ZOrderCount, from the lowest rank to the highest, equal ranks by slot.
    // Opening a layout restacks these from rank 1; printing draws them from 0.
    std::vector<int> slotsByRank(double lowest) const;
    // The slots from the bottom of the page's stack to the top.
    std::vector<int> stackingOrder() const;

    // Every change of the page, to undo and redo.
    History &history() { return *m_history; }

    // Where slot i stands before it has ever held a photo.
    static QPointF designPosition(int i);
    // How many device pixels a photo of that size in twips covers on screen, at the zoom.
    QSize devicePixels(QSizeF twips) const { return pixelScale().devicePixels(twips); }
    PixelScale pixelScale() const;

private:
    PageSurface *m_surface;
    std::array<std::unique_ptr<ImageControl>, kPhotos> m_pic;
    std::unique_ptr<History> m_history;
};

} // namespace vintrel
