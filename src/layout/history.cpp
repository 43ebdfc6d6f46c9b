#include "history.h"

#include <cstring>
#include <unordered_set>

#include <QUndoStack>

#include "page.h"

namespace vintrel {

namespace {
// Numbers compare by their bits: -0 is not 0, and a NaN is itself.
template <typename T>
bool sameBits(T a, T b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}
} // namespace

struct SlotState {
    bool used = false, visible = false;
    QString file, missing;
    Ratio ratioHW, ratioWH;
    double rank = 0;
    float left = 0, top = 0, width = 0, height = 0;
    Picture picture;
    int borderStyle = 0, appearance = 0;

    bool operator==(const SlotState &o) const
    {
        return used == o.used && visible == o.visible && file == o.file && missing == o.missing &&
               ratioHW.kind == o.ratioHW.kind && sameBits(ratioHW.value, o.ratioHW.value) &&
               ratioWH.kind == o.ratioWH.kind && sameBits(ratioWH.value, o.ratioWH.value) && sameBits(rank, o.rank) &&
               sameBits(left, o.left) && sameBits(top, o.top) && sameBits(width, o.width) &&
               sameBits(height, o.height) && picture == o.picture && borderStyle == o.borderStyle &&
               appearance == o.appearance;
    }
};

struct PageState {
    std::array<std::shared_ptr<const SlotState>, Page::kPhotos> entries;
    std::vector<int> stacking; // from the bottom of the stack to the top
    std::optional<int> current;
    double count = 0;
    std::optional<QRectF> markers; // not part of the page: shown again, never compared

    bool samePage(const PageState &o) const
    {
        return entries == o.entries && stacking == o.stacking && current == o.current && sameBits(count, o.count);
    }
};

class History::Step : public QUndoCommand {
public:
    Step(History &history, const QString &caption, int key, std::shared_ptr<const PageState> before,
         std::shared_ptr<const PageState> after)
        : QUndoCommand(caption), m_history(history), m_key(key), m_before(std::move(before)), m_after(std::move(after))
    {
    }
    void undo() override
    {
        m_history.m_current = m_before;
        if (!m_history.m_quiet)
            m_history.restore(*m_before);
    }
    void redo() override
    {
        m_history.m_current = m_after;
        if (!m_done) // recorded after the change: the page already stands so
            m_done = true;
        else if (!m_history.m_quiet)
            m_history.restore(*m_after);
    }
    // Never merged while the stack is being built again.
    int id() const override { return m_history.m_quiet ? -1 : m_key; }
    bool mergeWith(const QUndoCommand *other) override
    {
        m_after = static_cast<const Step *>(other)->m_after;
        return true;
    }

    History &m_history;
    const int m_key;
    bool m_done = false;
    std::shared_ptr<const PageState> m_before, m_after;
};

History::History(Page &page) : m_page(page), m_stack(std::make_unique<QUndoStack>())
{
    m_stack->setUndoLimit(kSteps);
    m_current = take();
}

History::~History() = default;

std::shared_ptr<const PageState> History::take() const
{
    auto state = std::make_shared<PageState>();
    for (int i = 0; i < Page::kPhotos; ++i) {
        const ImageControl &pic = m_page.Pic(i);
        SlotState s;
        s.used = m_page.PicUsed[i];
        s.visible = pic.Visible();
        s.file = m_page.PicFile[i];
        s.missing = pic.missing();
        s.ratioHW = m_page.PicRatioHW[i];
        s.ratioWH = m_page.PicRatioWH[i];
        s.rank = m_page.PicZOrder[i];
        s.left = pic.Left(), s.top = pic.Top(), s.width = pic.Width(), s.height = pic.Height();
        s.picture = pic.picture();
        s.borderStyle = pic.BorderStyle();
        s.appearance = pic.Appearance();
        // A slot as it stood shares its entry.
        const auto &before = m_current ? m_current->entries[i] : nullptr;
        state->entries[i] = before && *before == s ? before : std::make_shared<const SlotState>(std::move(s));
    }
    state->stacking = m_page.stackingOrder();
    state->current = m_page.CurPic;
    state->count = m_page.ZOrderCount;
    if (markersNow)
        state->markers = markersNow();
    return state;
}

void History::restore(const PageState &state)
{
    for (int i = 0; i < Page::kPhotos; ++i) {
        const SlotState &s = *state.entries[i];
        ImageControl &pic = m_page.Pic(i);
        m_page.PicUsed[i] = s.used;
        m_page.PicFile[i] = s.file;
        m_page.PicRatioHW[i] = s.ratioHW;
        m_page.PicRatioWH[i] = s.ratioWH;
        m_page.PicZOrder[i] = s.rank;
        pic.Move(s.left, s.top);
        pic.setWidth(s.width);
        pic.setHeight(s.height);
        if (s.missing.isEmpty())
            pic.setPicture(s.picture);
        else
            pic.setMissing(s.missing);
        pic.setBorderStyle(s.borderStyle);
        pic.setAppearance(s.appearance);
        pic.setVisible(s.visible);
    }
    for (int i : state.stacking)
        m_page.Pic(i).ZOrder();
    m_page.CurPic = state.current;
    m_page.ZOrderCount = state.count;
    if (showMarkers)
        showMarkers(state.markers);
}

void History::commit(const QString &caption, int mergeKey)
{
    std::shared_ptr<const PageState> now = take();
    if (now->samePage(*m_current))
        return;
    m_stack->push(new Step(*this, caption, mergeKey, m_current, std::move(now)));
    const int over = picturesKept().first;
    if (over >= 0)
        forgetBefore(over + 1);
}

std::pair<int, qint64> History::picturesKept() const
{
    std::unordered_set<const void *> seen; // pictures counted, or on the page
    for (int i = 0; i < Page::kPhotos; ++i)
        seen.insert(m_page.Pic(i).picture().identity());
    std::unordered_set<const SlotState *> looked;
    qint64 bytes = 0;
    for (int n = m_stack->count() - 1; n >= 0; --n) {
        const auto *step = static_cast<const Step *>(m_stack->command(n));
        for (const auto *state : {step->m_after.get(), step->m_before.get()})
            for (const auto &slot : state->entries)
                if (looked.insert(slot.get()).second && seen.insert(slot->picture.identity()).second)
                    bytes += slot->picture.display().sizeInBytes();
        if (bytes > kPictureBytes && n < m_stack->count() - 1)
            return {n, bytes};
    }
    return {-1, bytes};
}

void History::forgetBefore(int first)
{
    // Qt's stack forgets only by its count of steps: it is built again from
    // the steps kept, quietly, standing where it stood.
    std::vector<std::unique_ptr<Step>> kept;
    for (int n = first; n < m_stack->count(); ++n) {
        const auto *step = static_cast<const Step *>(m_stack->command(n));
        kept.push_back(std::make_unique<Step>(*this, step->text(), step->m_key, step->m_before, step->m_after));
    }
    const int index = m_stack->index() - first, clean = m_stack->cleanIndex() - first;
    const auto current = m_current;
    m_quiet = true;
    m_stack->clear();
    for (auto &step : kept)
        m_stack->push(step.release());
    if (clean >= 0) {
        m_stack->setIndex(clean);
        m_stack->setClean();
    } else {
        m_stack->resetClean();
    }
    m_stack->setIndex(index);
    m_quiet = false;
    m_current = current;
}

void History::markSaved()
{
    m_stack->setClean();
}

void History::undo()
{
    if (!m_stack->canUndo())
        return;
    m_stack->undo();
    m_page.LayoutSaved = m_stack->isClean();
}

void History::redo()
{
    if (!m_stack->canRedo())
        return;
    m_stack->redo();
    m_page.LayoutSaved = m_stack->isClean();
}

Recorded::~Recorded()
{
    try {
        m_page.history().commit(m_caption);
    } catch (...) { // out of memory: the change stays, unrecorded
    }
}

} // namespace vintrel
