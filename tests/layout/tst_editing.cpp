// Editing the page with real Qt mouse and key events on the real widgets
// (offscreen), with the pointer's screen position scripted.
#include <QDir>

#include "app/frmmain.h"
#include "layout/addphoto.h"
#include "layout/removal.h"
#include "layout/ruler.h"
#include "platform/msgbox.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
// At 96 dots an inch one pixel is 15 twips.
constexpr int kTpp = 15;
QPoint px(float x, float y) { return QPoint(int(x / kTpp), int(y / kTpp)); }
} // namespace

class TestEditing : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString photo; // 100 x 80 pixels: 1500 x 1200 twips, kept at its natural size
    ScriptedUi *ui = nullptr;
    frmMain *form = nullptr;

    Page &page() { return form->page(); }
    PressState &state() { return form->editor().state; }
    QWidget *w(int i) { return page().Pic(i).widget(); }
    void addPhotos(int n)
    {
        for (int k = 0; k < n; ++k) {
            ui->files << photo;
            form->mnuAdd_Click();
        }
    }
    // Where the ruler's marker band shows a black mark, in pixels along the ruler.
    static QList<int> marks(const Ruler &ruler)
    {
        QList<int> out;
        const bool across = ruler.ScaleWidth() > ruler.ScaleHeight();
        const int length = across ? ruler.image().width() : ruler.image().height();
        for (int at = 0; at < length; ++at) {
            const QPoint p = across ? QPoint(at, 18) : QPoint(18, at);
            if (QColor(ruler.image().pixel(p)) == Qt::black)
                out << at;
        }
        return out;
    }

private slots:
    void initTestCase() { photo = writePicture(dir.filePath("photo.png"), {100, 80}, "PNG"); }
    void init()
    {
        ui = new ScriptedUi;
        form = new frmMain(*ui);
        QVERIFY(form->Form_Load());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
    }
    void cleanup()
    {
        delete form;
        delete ui;
    }

    void clickSelectsAndStampsTwice()
    {
        addPhotos(2);
        page().LayoutSaved = true;
        QCOMPARE(page().ZOrderCount, 2.0);
        QTest::mouseClick(w(0), Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, px(700, 600));
        QCOMPARE(page().ZOrderCount, 4.0);
        QCOMPARE(page().PicZOrder[0], 4.0);
        QCOMPARE(page().CurPic, std::optional<int>(0));
        QCOMPARE(page().LayoutSaved, false);
        QCOMPARE(page().StackingOrder().back(), 0);
        for (int i = 0; i < Page::kPhotos; ++i) {
            QCOMPARE(page().Pic(i).BorderStyle(), i == 0 ? 1 : 0);
            QCOMPARE(page().Pic(i).Appearance(), i == 0 ? 1 : 0);
        }
        QVERIFY(!state().Dragging);
        // The photo did not move.
        QCOMPARE(page().Pic(0).Left(), 840.f);
    }

    void doubleClickRunsPressStepsOnce()
    {
        addPhotos(1);
        // As Qt delivers it from the window system: press, release, the double
        // click in place of the second press, release.
        QTest::mouseClick(w(0), Qt::LeftButton, {}, px(700, 600));
        QTest::mouseDClick(w(0), Qt::LeftButton, {}, px(700, 600));
        QTest::mouseRelease(w(0), Qt::LeftButton, {}, px(700, 600));
        // One press and one click: the second press is the double click.
        QCOMPARE(page().ZOrderCount, 3.0);
        QCOMPARE(page().PicZOrder[0], 3.0);
        QVERIFY(!state().Dragging);
        QVERIFY(state().HandleTracking);
    }

    void dragMovesPhotoAndMarkersLag()
    {
        addPhotos(1);
        ui->cursor = {300, 300};
        QTest::mousePress(w(0), Qt::LeftButton, {}, px(700, 600));
        QVERIFY(state().Dragging);
        QVERIFY(!state().Resizing.value_or(false));
        ui->cursor = {310, 295};
        QTest::mouseMove(w(0), px(850, 525));
        QCOMPARE(page().Pic(0).Left(), 840.f + 150);
        QCOMPARE(page().Pic(0).Top(), 600.f - 75);
        // The markers show the edges from before this step.
        QCOMPARE(marks(form->XRule()), QList<int>({56, 156}));
        QCOMPARE(marks(form->YRule()), QList<int>({40, 120}));
        ui->cursor = {312, 295};
        QTest::mouseMove(w(0), px(880, 525));
        QCOMPARE(page().Pic(0).Left(), 840.f + 180);
        QCOMPARE(marks(form->XRule()), QList<int>({66, 166}));
        QCOMPARE(marks(form->YRule()), QList<int>({35, 115}));
        QTest::mouseRelease(w(0), Qt::LeftButton, {}, px(880, 525));
        QVERIFY(!state().Dragging);
        // Moving without a button moves nothing.
        ui->cursor = {400, 400};
        QTest::mouseMove(w(0), px(700, 600));
        QCOMPARE(page().Pic(0).Left(), 840.f + 180);
    }

    void pressedPhotoKeepsTheMovesUntilRelease()
    {
        addPhotos(2); // slot 1 stands at 1680, 600, right of slot 0
        ui->cursor = {100, 100};
        QTest::mousePress(w(0), Qt::LeftButton, {}, px(700, 600));
        ui->cursor = {160, 100};
        // The pointer is now over slot 1, but slot 0 has the mouse.
        QTest::mouseMove(w(0), px(700 + 900, 600));
        QCOMPARE(page().Pic(0).Left(), 840.f + 900);
        QCOMPARE(page().Pic(1).Left(), 1680.f);
        QTest::mouseRelease(w(0), Qt::LeftButton, {}, px(1600, 600));
    }

    void hoverChoosesHandleThenEdgeDragResizes()
    {
        addPhotos(1); // 1500 x 1200, ratios 0.8 and 1.25
        QTest::mouseMove(w(0), px(700, 1150)); // over the bottom edge
        QCOMPARE(page().Pic(0).MousePointer(), 7);
        QCOMPARE(state().ActiveHandle, std::optional<char>('S'));
        QCOMPARE(w(0)->cursor().shape(), Qt::SizeVerCursor);
        ui->cursor = {500, 500};
        QTest::mousePress(w(0), Qt::LeftButton, {}, px(700, 1150));
        QVERIFY(state().Resizing.value_or(false));
        QVERIFY(!state().HandleTracking);
        ui->cursor = {500, 520};
        // Crossing the interior while resizing changes neither pointer nor handle.
        QTest::mouseMove(w(0), px(700, 600));
        QCOMPARE(page().Pic(0).Height(), 1200.f + 300);
        QCOMPARE(page().Pic(0).Width(), 1500.f + 300 * 1.25f);
        QCOMPARE(page().Pic(0).Top(), 600.f);
        QCOMPARE(page().Pic(0).MousePointer(), 7);
        QCOMPARE(state().ActiveHandle, std::optional<char>('S'));
        QTest::mouseRelease(w(0), Qt::LeftButton, {}, px(700, 600));
        QVERIFY(state().HandleTracking);
        QCOMPARE(state().Resizing, std::optional<bool>(false));
        // Hovering the interior now shows the move pointer but keeps the handle.
        QTest::mouseMove(w(0), px(700, 600));
        QCOMPARE(page().Pic(0).MousePointer(), 5);
        QCOMPARE(state().ActiveHandle, std::optional<char>('S'));
    }

    void topEdgeStopsAtTheMinimum()
    {
        addPhotos(1);
        QTest::mouseMove(w(0), px(700, 30));
        QCOMPARE(state().ActiveHandle, std::optional<char>('N'));
        ui->cursor = {0, 0};
        QTest::mousePress(w(0), Qt::LeftButton, {}, px(700, 30));
        ui->cursor = {0, 40}; // 600 twips down
        QTest::mouseMove(w(0), px(700, 30));
        QCOMPARE(page().Pic(0).Height(), 600.f);
        QCOMPARE(page().Pic(0).Top(), 1200.f);
        ui->cursor = {0, 60}; // 300 more: the height clamps, the top stays
        QTest::mouseMove(w(0), px(700, 30));
        QCOMPARE(page().Pic(0).Height(), 300.f);
        QCOMPARE(page().Pic(0).Width(), 375.f);
        QCOMPARE(page().Pic(0).Top(), 1200.f);
        QCOMPARE(page().Pic(0).Left(), 840.f);
        QTest::mouseRelease(w(0), Qt::LeftButton, {}, px(700, 30));
    }

    void edgePressBeforeAnyHoverResizesNothing()
    {
        addPhotos(1);
        page().Pic(0).setMousePointer(0);
        ui->cursor = {0, 0};
        // A press straight in the margin, no hover first: no handle yet.
        form->editor().Pic_MouseDown(0, Qt::LeftButton, {}, 50, 600);
        QVERIFY(state().Resizing.value_or(false));
        ui->cursor = {30, 30};
        form->editor().Pic_MouseMove(0, Qt::LeftButton, {}, 50, 600);
        QCOMPARE(page().Pic(0).Width(), 1500.f);
        QCOMPARE(page().Pic(0).Height(), 1200.f);
        QCOMPARE(page().Pic(0).Left(), 840.f);
        QCOMPARE(page().Pic(0).MousePointer(), 0); // tracking is off during the press
        QCOMPARE(state().LastCursorPos, QPoint(30, 30));
    }

    void rightPressInMarginFreezesHoverUntilRelease()
    {
        addPhotos(1);
        QTest::mouseMove(w(0), px(30, 600));
        QCOMPARE(state().ActiveHandle, std::optional<char>('W'));
        QTest::mousePress(w(0), Qt::RightButton, {}, px(1450, 600));
        // A right press selects and stamps, but never drags...
        QCOMPARE(page().CurPic, std::optional<int>(0));
        QCOMPARE(page().ZOrderCount, 2.0);
        QVERIFY(!state().Dragging);
        QVERIFY(state().Resizing.value_or(false));
        QVERIFY(!state().HandleTracking);
        QTest::mouseMove(w(0), px(700, 1150));
        QCOMPARE(page().Pic(0).MousePointer(), 9);
        QCOMPARE(state().ActiveHandle, std::optional<char>('W'));
        QCOMPARE(page().Pic(0).Width(), 1500.f);
        QTest::mouseRelease(w(0), Qt::RightButton, {}, px(700, 1150));
        QCOMPARE(page().Pic(0).BorderStyle(), 0); // ...and is no click
        QTest::mouseMove(w(0), px(700, 1150));
        QCOMPARE(page().Pic(0).MousePointer(), 7);
        QCOMPARE(state().ActiveHandle, std::optional<char>('S'));
    }

    void removeAndDeleteFreeTheCurrentSlot_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("menu Remove") << false;
        QTest::newRow("Delete key") << true;
    }
    void removeAndDeleteFreeTheCurrentSlot()
    {
        QFETCH(bool, byKey);
        auto remove = [&] {
            if (byKey)
                QTest::keyClick(page().surface(), Qt::Key_Delete);
            else
                form->mnuRemove_Click();
        };
        QVERIFY(page().surface()->hasFocus());
        // Before any photo: slot 0, which stays empty.
        remove();
        QVERIFY(!page().PicUsed[0]);
        QCOMPARE(page().LayoutSaved, byKey); // only the menu marks a change
        addPhotos(2);
        ui->cursor = {0, 0};
        QTest::mousePress(w(0), Qt::LeftButton, {}, px(700, 600));
        ui->cursor = {20, 10};
        QTest::mouseMove(w(0), px(700, 600));
        QTest::mouseRelease(w(0), Qt::LeftButton, {}, px(700, 600));
        QCOMPARE(page().Pic(0).Left(), 1140.f);
        const double stamp = page().PicZOrder[0];
        page().LayoutSaved = true; // as after a save
        remove();
        remove(); // twice: the free slot again, nothing else
        QVERIFY(!page().PicUsed[0]);
        QVERIFY(!page().Pic(0).Visible());
        QVERIFY(page().Pic(0).picture().isEmpty());
        QVERIFY(page().PicFile[0].isEmpty());
        QCOMPARE(page().PicZOrder[0], stamp);
        QCOMPARE(page().CurPic, std::optional<int>(0));
        QCOMPARE(page().LayoutSaved, byKey);
        QVERIFY(page().PicUsed[1]);
        QVERIFY(page().Pic(1).Visible());
        // The next photo takes the freed slot where the old one was left.
        addPhotos(1);
        QVERIFY(page().PicUsed[0]);
        QCOMPARE(page().Pic(0).Left(), 1140.f);
        QCOMPARE(page().Pic(0).Top(), 750.f);
    }

    void otherKeysDoNothing()
    {
        addPhotos(1);
        for (Qt::Key key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Backspace, Qt::Key_D, Qt::Key_Escape})
            QTest::keyClick(page().surface(), key);
        QVERIFY(page().PicUsed[0]);
        QVERIFY(page().Pic(0).Visible());
        QCOMPARE(page().Pic(0).Left(), 840.f);
    }

    void newLayoutAsksOnlyWithUnsavedChanges()
    {
        addPhotos(3);
        page().Pic(0).Move(2000, 3000);
        ui->answers << MsgAnswer::No;
        form->mnuNew_Click();
        QCOMPARE(ui->messages.size(), 1);
        QCOMPARE(ui->messages[0].text, QString("Discard current layout and start new layout?"));
        QCOMPARE(ui->messages[0].buttons, MsgButtons::YesNo);
        QVERIFY(page().PicUsed[2]);
        QCOMPARE(page().ZOrderCount, 3.0);

        ui->answers << MsgAnswer::Yes;
        form->mnuNew_Click();
        QCOMPARE(page().LayoutSaved, true);
        QCOMPARE(page().ZOrderCount, 0.0);
        for (int i = 0; i < Page::kPhotos; ++i) {
            QVERIFY(!page().PicUsed[i]);
            QVERIFY(!page().Pic(i).Visible());
            QVERIFY(page().Pic(i).picture().isEmpty());
            QCOMPARE(page().PicZOrder[i], 0.0);
        }
        QCOMPARE(page().PicFile[1], photo); // kept, as are places and ratios
        QCOMPARE(page().CurPic, std::optional<int>(2));

        // Saved state: no question.
        form->mnuNew_Click();
        QCOMPARE(ui->messages.size(), 2);
        // The next Add takes slot 0 where its control was last left.
        addPhotos(1);
        QCOMPARE(page().Pic(0).Left(), 2000.f);
        QCOMPARE(page().Pic(0).Top(), 3000.f);
        QCOMPARE(page().PicZOrder[0], 1.0);
    }

    void toolbarNewRunsTheSameCommand()
    {
        addPhotos(1);
        ui->answers << MsgAnswer::Yes;
        form->Toolbar1_ButtonClick("New");
        QVERIFY(!page().PicUsed[0]);
        QCOMPARE(ui->messages.size(), 1);
    }
};

VINTREL_TEST_MAIN(TestEditing)
#include "tst_editing.moc"
