// Every window's labels as the installed fonts draw them: each text inside its own box, and no
// two texts shown together running into each other.
#include "app/filetypes.h"
#include "dropscreen/qconvert.h"
#include "feedback/doner.h"
#include "feedback/progressdes.h"
#include "info/AboutWin.h"
#include "info/infowin.h"
#include "panels/audiocontrol.h"
#include "panels/controlwin.h"
#include "panels/imagecontrol.h"
#include "platform/controls.h"
#include "platform/effects.h"

#include <QApplication>
#include <QStyle>
#include <gtest/gtest.h>

namespace ui = vorpel::ui;

namespace {

struct Drawn {
    std::string name;
    QRect box;  // the label's own area, in window coordinates
    QRect text; // where its text lands, in window coordinates
};

// Where QLabel puts the text: its lines aligned in the contents, as wide as the font makes
// them; a single line as high as its glyphs reach above and below the baseline.
Drawn drawnText(const ui::StaticText* label, const QWidget* window) {
    const QFontMetrics fm(label->font());
    const QRect contents = label->contentsRect();
    QRect text;
    if (label->wordWrap()) {
        text = fm.boundingRect(contents, int(label->alignment()) | Qt::TextWordWrap, label->text());
    } else {
        const QSize size(fm.horizontalAdvance(label->text()), fm.height());
        const QRect line =
            QStyle::alignedRect(label->layoutDirection(), label->alignment(), size, contents);
        const QRect glyphs = fm.tightBoundingRect(label->text());
        const int baseline = line.top() + fm.ascent();
        text = QRect(line.left(), baseline + glyphs.top(), line.width(), glyphs.height());
    }
    const QPoint origin = label->mapTo(window, QPoint(0, 0));
    return {label->objectName().toStdString(), label->rect().translated(origin),
            text.translated(origin)};
}

std::vector<Drawn> shownLabels(const QWidget* window) {
    std::vector<Drawn> v;
    for (const ui::StaticText* label : window->findChildren<ui::StaticText*>()) {
        if (label->isVisibleTo(window) && !label->text().isEmpty())
            v.push_back(drawnText(label, window));
    }
    return v;
}

// Two texts on one line closer than this read as one word.
constexpr int kGap = 3;

void expectLabelsApart(const QWidget* window, const char* what) {
    SCOPED_TRACE(what);
    const std::vector<Drawn> labels = shownLabels(window);
    ASSERT_FALSE(labels.empty());
    for (const Drawn& l : labels) {
        EXPECT_TRUE(l.box.contains(l.text))
            << l.name << ": text " << l.text.left() << ".." << l.text.right() << " x "
            << l.text.top() << ".." << l.text.bottom() << " outside its box " << l.box.left()
            << ".." << l.box.right() << " x " << l.box.top() << ".." << l.box.bottom();
    }
    for (size_t i = 0; i < labels.size(); ++i) {
        for (size_t j = i + 1; j < labels.size(); ++j) {
            const Drawn &a = labels[i], &b = labels[j];
            // Texts drawn clipped to their boxes; compare what can show.
            const QRect ta = a.text & a.box, tb = b.text & b.box;
            EXPECT_FALSE(ta.adjusted(-kGap, 0, kGap, 0).intersects(tb))
                << a.name << " (" << ta.left() << ".." << ta.right() << ") and " << b.name << " ("
                << tb.left() << ".." << tb.right() << ")";
            // Where boxes overlap, the shared strip is neither text's.
            EXPECT_FALSE(ta.intersects(b.box)) << a.name << " reaches into " << b.name;
            EXPECT_FALSE(tb.intersects(a.box)) << b.name << " reaches into " << a.name;
        }
    }
}

class Labels : public ::testing::Test {
protected:
    void SetUp() override {
        vorpel::FileTypes::Initialise();
        ui::setEffectBackend(&quiet);
    }
    void TearDown() override {
        for (ui::Window* w : ui::openWindows())
            w->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::setEffectBackend(nullptr);
        vorpel::FileTypes::Release();
    }
    // The notice's poof goes nowhere.
    struct Quiet : ui::EffectBackend {
        void applicationLoad() override {}
        void* newPool() override { return nullptr; }
        void releasePool(void*) override {}
        void showAnimationEffect(int, float, float, float, float) override {}
        std::optional<int> mainScreenHeight() override { return 900; }
    } quiet;
};

TEST_F(Labels, DropScreenLabelsStayInTheirBoxesInBothHintStates) {
    vorpel::qconvert& screen = ui::Win<vorpel::qconvert>();
    expectLabelsApart(&screen, "empty list");
    screen.StaticText44->setVisible(true);
    screen.StaticText31->setVisible(false);
    expectLabelsApart(&screen, "filled list");
}

TEST_F(Labels, PanelAndFeedbackWindowLabelsStayInTheirBoxes) {
    expectLabelsApart(&ui::Win<vorpel::controlwin>(), "controlwin");
    expectLabelsApart(&ui::Win<vorpel::imagecontrol>(), "imagecontrol");
    expectLabelsApart(&ui::Win<vorpel::audiocontrol>(), "audiocontrol");
    expectLabelsApart(&ui::Win<vorpel::progressdes>(), "progressdes");
    expectLabelsApart(&ui::Win<vorpel::doner>(), "doner");
    expectLabelsApart(&ui::Win<vorpel::AboutWin>(), "AboutWin");
    expectLabelsApart(&ui::Win<vorpel::infowin>(), "infowin");
}

} // namespace
