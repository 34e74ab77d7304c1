// The three conversion panels: start states the routines depend on, which routine each
// button runs, the batch over the Drop Screen's queue, and fresh state after closing.
#include "../engine/roadkit.h"

#include "panels/audiocontrol.h"
#include "panels/controlwin.h"
#include "panels/imagecontrol.h"

namespace {

using roadkit::RoadTest;
using vorpel::audiocontrol;
using vorpel::controlwin;
using vorpel::imagecontrol;
using vorpel::ui::Win;
using vorpel::ui::WinIfOpen;

void reopen() { roadkit::closeAllWindows(); }

class DocumentPanel : public RoadTest {};

TEST_F(DocumentPanel, CreatedHiddenWithBothStartingChoicesSelected) {
    controlwin& p = Win<controlwin>();
    EXPECT_FALSE(p.Visible());
    // Two independent clusters: "Auto" and "UTF-8" both hold.
    EXPECT_TRUE(p.RadioButton1->Value());
    EXPECT_TRUE(p.RadioButton3->Value());
    for (auto* b : {p.RadioButton8, p.RadioButton2, p.RadioButton6, p.RadioButton4, p.RadioButton15,
                    p.RadioButton5})
        EXPECT_FALSE(b->Value()) << b->objectName().toStdString();
    for (auto* b : {p.RadioButton8, p.RadioButton2, p.RadioButton6, p.RadioButton4, p.RadioButton5})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(p.RadioButton1->isEnabled());
    EXPECT_TRUE(p.RadioButton3->isEnabled());
    EXPECT_TRUE(p.RadioButton15->isEnabled());
    EXPECT_EQ(p.EditField1->Text(), "Untitled");
    EXPECT_FALSE(p.BevelButton2->isEnabled());
    EXPECT_FALSE(p.BevelButton23->isEnabled());
}

TEST_F(DocumentPanel, ChoosingInOneClusterLeavesTheOtherAlone) {
    controlwin& p = Win<controlwin>();
    p.RadioButton15->click();  // "Big 5", enabled
    EXPECT_TRUE(p.RadioButton15->Value());
    EXPECT_FALSE(p.RadioButton3->Value());
    EXPECT_TRUE(p.RadioButton1->Value());
    p.RadioButton1->click();
    EXPECT_TRUE(p.RadioButton15->Value());
}

// Each enabled button runs its own routine over every queued item.
TEST_F(DocumentPanel, EachButtonRunsItsRoutine) {
    struct Case {
        vorpel::ui::BevelButton* controlwin::*button;
        std::string command;
    };
    const std::vector<Case> cases = {
        {&controlwin::BevelButton4, "textutil -convert txt /tmp/p/a.doc"},
        {&controlwin::BevelButton3, "textutil -convert rtf /tmp/p/a.doc"},
        {&controlwin::BevelButton5, "textutil -convert doc /tmp/p/a.doc"},
        {&controlwin::BevelButton9,
         "textutil -convert webarchive -editor ZENTO -Generator ZENTO  /tmp/p/a.doc"},
        {&controlwin::BevelButton24, "textutil -convert odt /tmp/p/a.doc"},
        {&controlwin::BevelButton7, "textutil -convert rtfd /tmp/p/a.doc"},
        {&controlwin::BevelButton6, "textutil -convert wordml /tmp/p/a.doc"},
        {&controlwin::BevelButton1,
         "tidy -html -numeric -quiet -utf8 -bare -omit < /tmp/p/a.doc >  /tmp/p/Untitled.html"},
        {&controlwin::BevelButton22,
         "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  < /tmp/p/a.doc >  "
         "/tmp/p/Untitled.xhtml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        reopen();
        runner.calls.clear();
        queue({"/tmp/p/a.doc"});
        controlwin& p = Win<controlwin>();
        p.Show();
        (p.*c.button)->click();
        EXPECT_EQ(runner.commands(), std::vector<std::string>{c.command});
        EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());
        EXPECT_TRUE(p.Visible()) << "the batch does not close the panel";
    }
}

TEST_F(DocumentPanel, DisabledHtmlAndDocxButtonsNeverStartABatch) {
    queue({"/tmp/p/a.doc"});
    controlwin& p = Win<controlwin>();
    p.Show();
    p.BevelButton2->click();
    p.BevelButton23->click();
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(Win<vorpel::qconvert>().QuennFileArray.size(), 1u);
    // Their handlers are still wired: upper "HTML" to html, "DOCX" to docx.
    p.BevelButton2_Action();
    queue({"/tmp/p/b.doc"});
    p.BevelButton23_Action();
    EXPECT_EQ(runner.commands(),
              (std::vector<std::string>{
                  "textutil -convert html  -editor ZENTO -Generator ZENTO  /tmp/p/a.doc",
                  "textutil -convert docx /tmp/p/b.doc"}));
}

TEST_F(DocumentPanel, BatchOverThreeItemsWithAFailingMiddleEmptiesTheList) {
    queue({"/tmp/p/1.doc", "/tmp/p/2.doc", "/tmp/p/3.doc"});
    runner.script({{0, ""}, {1, "textutil: bad\n"}, {0, ""}});
    Win<controlwin>().BevelButton3->click();
    EXPECT_EQ(runner.commands(),
              (std::vector<std::string>{"textutil -convert rtf /tmp/p/1.doc",
                                        "textutil -convert rtf /tmp/p/2.doc",
                                        "textutil -convert rtf /tmp/p/3.doc"}));
    vorpel::qconvert& screen = Win<vorpel::qconvert>();
    EXPECT_TRUE(screen.QuennFileArray.empty());
    EXPECT_EQ(screen.ListBox1->ListCount(), 0);
    EXPECT_EQ(vorpel::Failures::report(), "2.doc: textutil: bad");
    // A second press finds the list empty.
    runner.calls.clear();
    Win<controlwin>().BevelButton3->click();
    EXPECT_TRUE(runner.calls.empty());
}

TEST_F(DocumentPanel, EmptyListRunsNothing) {
    Win<vorpel::qconvert>();
    for (auto* b : {Win<controlwin>().BevelButton4, Win<controlwin>().BevelButton22}) b->click();
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(WinIfOpen<vorpel::progressdes>(), nullptr);
}

TEST_F(DocumentPanel, ClosingAndReopeningRestoresNameAndBothClusters) {
    controlwin& p = Win<controlwin>();
    p.Show();
    p.EditField1->setText("Changed");
    p.RadioButton8->setChecked(true);
    p.RadioButton15->setChecked(true);
    p.close();  // the close box
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(WinIfOpen<controlwin>(), nullptr);
    controlwin& fresh = Win<controlwin>();
    EXPECT_EQ(fresh.EditField1->Text(), "Untitled");
    EXPECT_TRUE(fresh.RadioButton1->Value());
    EXPECT_FALSE(fresh.RadioButton8->Value());
    EXPECT_TRUE(fresh.RadioButton3->Value());
    EXPECT_FALSE(fresh.RadioButton15->Value());
    EXPECT_FALSE(fresh.Visible());
}

// The typed name matters only to the two buttons of the XHTML section.
TEST_F(DocumentPanel, TypedNameReachesOnlyTheMarkupButtons) {
    Win<controlwin>().EditField1->setText("Site Copy");
    queue({"/tmp/p/a.htm"});
    Win<controlwin>().BevelButton5->click();
    queue({"/tmp/p/a.htm"});
    Win<controlwin>().BevelButton22->click();
    ASSERT_EQ(runner.calls.size(), 2u);
    EXPECT_EQ(runner.calls[0].command, "textutil -convert doc /tmp/p/a.htm");
    EXPECT_NE(runner.calls[1].command.find(" >  /tmp/p/Site\\ Copy.xhtml"), std::string::npos);
}

class ImagePanel : public RoadTest {};

TEST_F(ImagePanel, EachButtonRunsItsFormat) {
    struct Case {
        vorpel::ui::BevelButton* imagecontrol::*button;
        std::string token, extension;
    };
    const std::vector<Case> cases = {
        {&imagecontrol::BevelButton8, "jpeg", ".jpeg"}, {&imagecontrol::BevelButton2, "gif", ".gif"},
        {&imagecontrol::BevelButton3, "tiff", ".tiff"}, {&imagecontrol::BevelButton5, "pict", ".pict"},
        {&imagecontrol::BevelButton4, "png", ".png"},   {&imagecontrol::BevelButton6, "psd", ".psd"},
        {&imagecontrol::BevelButton1, "pdf", ".pdf"},   {&imagecontrol::BevelButton7, "jp2", ".jp2"},
        {&imagecontrol::BevelButton9, "bmp", ".bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        reopen();
        runner.calls.clear();
        queue({"/tmp/i/photo.png"});
        (Win<imagecontrol>().*c.button)->click();
        EXPECT_EQ(runner.commands(),
                  std::vector<std::string>{"sips --setProperty format " + c.token +
                                           " --setProperty formatOptions best /tmp/i/photo.png "
                                           "--out /tmp/i/Untitled" + c.extension});
        EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());
    }
}

TEST_F(ImagePanel, AutoNameBoxStartsUntickedEnabledAndKeepsTheNameFieldInStep) {
    imagecontrol& p = Win<imagecontrol>();
    EXPECT_FALSE(p.Visible());
    EXPECT_FALSE(p.CheckBox2->Value());
    EXPECT_TRUE(p.CheckBox2->isEnabled());
    EXPECT_TRUE(p.EditField3->isEnabled());
    EXPECT_EQ(p.EditField3->Text(), "Untitled");
    p.CheckBox2->click();
    EXPECT_FALSE(p.EditField3->isEnabled());
    p.CheckBox2->click();
    EXPECT_TRUE(p.EditField3->isEnabled());
}

TEST_F(ImagePanel, TickedBoxGivesEachItemItsOwnOutput) {
    queue({"/tmp/i/a.png", "/tmp/i/b.gif"});
    Win<imagecontrol>().CheckBox2->click();
    Win<imagecontrol>().BevelButton8->click();
    ASSERT_EQ(runner.calls.size(), 2u);
    EXPECT_NE(runner.calls[0].command.find("--out /tmp/i/a.png.jpeg"), std::string::npos);
    EXPECT_NE(runner.calls[1].command.find("--out /tmp/i/b.gif.jpeg"), std::string::npos);
}

TEST_F(ImagePanel, ClosingAndReopeningRestoresTheName) {
    imagecontrol& p = Win<imagecontrol>();
    p.Show();
    p.EditField3->setText("Other");
    p.CheckBox2->click();
    p.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(WinIfOpen<imagecontrol>(), nullptr);
    EXPECT_EQ(Win<imagecontrol>().EditField3->Text(), "Untitled");
    EXPECT_FALSE(Win<imagecontrol>().CheckBox2->Value());
    EXPECT_TRUE(Win<imagecontrol>().EditField3->isEnabled());
}

class SpeechPanel : public RoadTest {};

TEST_F(SpeechPanel, VoiceListInOrderWithBadNewsChosen) {
    audiocontrol& p = Win<audiocontrol>();
    const QStringList expected = {"Alex",     "Agnes",    "Albert",  "BadNews",  "Bahh",
                                  "Bells",    "Boing",    "Bruce",   "Bubbles",  "Cellos",
                                  "Deranged", "Fred",     "GoodNews", "Hysterical", "Junior",
                                  "Kathy",    "Organ",    "Princess", "Ralph",   "Trinoids",
                                  "Vicki",    "Victoria", "Whisper", "Zarvox"};
    ASSERT_EQ(p.PopupMenu1->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i) EXPECT_EQ(p.PopupMenu1->itemText(i), expected[i]);
    EXPECT_EQ(p.PopupMenu1->Text(), "BadNews");
    EXPECT_EQ(p.EditField3->Text(), "Untitled");
    EXPECT_FALSE(p.CheckBox1->Value());
    EXPECT_FALSE(p.Visible());
}

TEST_F(SpeechPanel, StartButtonSpeaksEveryItemWithTheChosenVoice) {
    queue({"/tmp/s1/a.rtf", "/tmp/s2/b c.txt"});
    audiocontrol& p = Win<audiocontrol>();
    p.PopupMenu1->setCurrentIndex(23);
    p.EditField3->setText("Spoken");
    p.BevelButton2->click();
    EXPECT_EQ(runner.commands(),
              (std::vector<std::string>{
                  "textutil -convert txt -stdout /tmp/s1/a.rtf | say -v Zarvox -o /tmp/s1/Spoken.aiff",
                  "textutil -convert txt -stdout /tmp/s2/b\\ c.txt | say -v Zarvox -o "
                  "/tmp/s2/Spoken.aiff"}));
    EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());
    EXPECT_EQ(Win<vorpel::qconvert>().ListBox1->ListCount(), 0);
}

TEST_F(SpeechPanel, AutoNameBoxNamesEachOutputAfterItsItemAndDisablesTheField) {
    queue({"/tmp/s1/a.rtf", "/tmp/s1/b.rtf"});
    audiocontrol& p = Win<audiocontrol>();
    ASSERT_TRUE(p.CheckBox1->isEnabled());
    p.CheckBox1->click();
    EXPECT_FALSE(p.EditField3->isEnabled());
    p.BevelButton2->click();
    ASSERT_EQ(runner.calls.size(), 2u);
    EXPECT_NE(runner.calls[0].command.find("-o /tmp/s1/a.rtf.aiff"), std::string::npos);
    EXPECT_NE(runner.calls[1].command.find("-o /tmp/s1/b.rtf.aiff"), std::string::npos);
    p.CheckBox1->click();
    EXPECT_TRUE(p.EditField3->isEnabled());
}

TEST_F(SpeechPanel, ClosingAndReopeningRestoresUntitledAndBadNews) {
    audiocontrol& p = Win<audiocontrol>();
    p.Show();
    p.EditField3->setText("x");
    p.PopupMenu1->setCurrentIndex(0);
    p.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(WinIfOpen<audiocontrol>(), nullptr);
    EXPECT_EQ(Win<audiocontrol>().EditField3->Text(), "Untitled");
    EXPECT_EQ(Win<audiocontrol>().PopupMenu1->Text(), "BadNews");
}

TEST_F(SpeechPanel, WithTheDropScreenClosedAPressOpensAnEmptyOneAndRunsNothing) {
    audiocontrol& p = Win<audiocontrol>();
    ASSERT_EQ(WinIfOpen<vorpel::qconvert>(), nullptr);
    p.BevelButton2->click();
    ASSERT_NE(WinIfOpen<vorpel::qconvert>(), nullptr);
    EXPECT_TRUE(WinIfOpen<vorpel::qconvert>()->Visible());
    EXPECT_TRUE(runner.calls.empty());
}

} // namespace
