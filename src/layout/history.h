#pragma once
// Undo and redo of the page: every change of the page is one step on Qt's undo
// stack, holding the page as it stood before and after. A step is recorded
// after the change, by comparing the page with the state the stack stands at,
// so that a command records itself in one line, whatever way it ends.
//
// A state holds each slot's table entries and image control (place and size to
// the bit, ratios with their kind, stamp, flags, file, picture, look), the
// stacking, CurPic, ZOrderCount and what the rulers mark. Slots unchanged from
// the state before share its entry, and pictures are shared, never decoded
// again: a step costs about a kilobyte.
#include <functional>
#include <memory>
#include <optional>

#include <QRectF>
#include <QString>
#include <QtGlobal>

class QUndoStack;

namespace vintrel {

class Page;
struct PageState;

class History {
public:
    explicit History(Page &page);
    ~History();
    History(const History &) = delete;
    History &operator=(const History &) = delete;

    // Records what changed since the state the stack stands at as one step
    // named `caption` ("Move", "Add Photo"); nothing when nothing changed.
    // Steps of one `mergeKey` (0 or more) that follow each other become one
    // while the stack is not at the saved state.
    void commit(const QString &caption, int mergeKey = -1);
    // The page as it stands is the one last saved or opened.
    void markSaved();
    // Back or forward one step: the page as it stood, LayoutSaved True when
    // that is the state last saved or opened, False otherwise.
    void undo();
    void redo();

    QUndoStack &stack() { return *m_stack; }
    // The most steps kept, and the most bytes of pictures kept for them that
    // the page no longer shows; older steps are forgotten, but never the
    // newest one.
    static constexpr int kSteps = 1000;
    static constexpr qint64 kPictureBytes = 256 << 20;
    // The bytes of the pictures the steps hold that the page does not show.
    qint64 pictureBytes() const { return picturesKept().second; }

    // The photo edges the rulers show (twips on the page), taken with each
    // step, and how to show them again with it; set by the page's editor.
    std::function<std::optional<QRectF>()> markersNow;
    std::function<void(const std::optional<QRectF> &)> showMarkers;

private:
    class Step;
    std::shared_ptr<const PageState> take() const;
    void restore(const PageState &state);
    // The oldest step whose pictures take the kept bytes past the budget
    // (none: -1), and the bytes kept up to it.
    std::pair<int, qint64> picturesKept() const;
    // Forgets the steps before `first`.
    void forgetBefore(int first);

    Page &m_page;
    std::unique_ptr<QUndoStack> m_stack;
    std::shared_ptr<const PageState> m_current; // the state the stack stands at
    bool m_quiet = false; // stepping through the stack without showing it
};

// Records a command's change as one step when it goes out of scope, however
// the command ends.
class Recorded {
public:
    Recorded(Page &page, QString caption) : m_page(page), m_caption(std::move(caption)) {}
    ~Recorded();
    Recorded(const Recorded &) = delete;
    Recorded &operator=(const Recorded &) = delete;

private:
    Page &m_page;
    QString m_caption;
};

} // namespace vintrel
