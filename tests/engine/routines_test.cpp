// Every command line of every routine and variant, the common sequence around the command,
// output names and what counts as success, all through the recording Shell runner.
#include "roadkit.h"

#include "engine/vorpel.h"
#include "panels/audiocontrol.h"
#include "panels/controlwin.h"
#include "panels/imagecontrol.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <sys/stat.h>

namespace {

using roadkit::RoadTest;
using vorpel::FolderItem;
using vorpel::Failures::list;
using vorpel::ui::Win;
using vorpel::ui::WinIfOpen;

using Routine = bool (*)(const FolderItem&, bool);

// Sources whose paths need escaping, with the escaped forms a POSIX shell reads as one word.
struct Source {
    std::string path, escaped, escapedFolder;
};
const std::vector<Source> kSources = {
    {"/tmp/road/Report 1.rtf", "/tmp/road/Report\\ 1.rtf", "/tmp/road"},
    {"/tmp/road/it's \"quoted\" (2).html", "/tmp/road/it\\'s\\ \\\"quoted\\\"\\ \\(2\\).html",
     "/tmp/road"},
    {"/tmp/r\xC3\xB4" "ad/\xC3\x9Cn\xC3\xAF code \xE6\x96\x87.doc",
     "/tmp/r\xC3\xB4" "ad/\xC3\x9Cn\xC3\xAF\\ code\\ \xE6\x96\x87.doc", "/tmp/r\xC3\xB4" "ad"},
    {"/tmp/road/a$b&c;d.png", "/tmp/road/a\\$b\\&c\\;d.png", "/tmp/road"},
};

enum class Shape { Document, Markup, Image, Speech };

struct Row {
    const char* name;
    Routine routine;
    std::function<void()> options;  // puts the panel in the state that selects this variant
    std::string prefix;             // exact, as the tables give it
    size_t length;                  // the tables' length column
    Shape shape;
    std::string outputName;         // with the initial "Untitled"
};

void pick(vorpel::ui::RadioButton* (vorpel::controlwin::*button)) {
    (Win<vorpel::controlwin>().*button)->setChecked(true);
}

std::function<void()> doc(vorpel::ui::RadioButton* vorpel::controlwin::*button) {
    return [button] { pick(button); };
}

const std::string kSips1 = "sips --setProperty format ";
const std::string kSips2 = " --setProperty formatOptions best ";

std::vector<Row> rows() {
    using vorpel::controlwin;
    const auto none = [] {};
    return {
        {"doc", vorpel::doc, none, "textutil -convert doc ", 22, Shape::Document, ""},
        {"docx", vorpel::docx, none, "textutil -convert docx ", 23, Shape::Document, ""},
        {"odt", vorpel::odt, none, "textutil -convert odt ", 22, Shape::Document, ""},
        {"txt/UTF-16", vorpel::txt, doc(&controlwin::RadioButton2),
         "textutil -convert txt  -encoding UTF-16 ", 40, Shape::Document, ""},
        {"txt/auto", vorpel::txt, doc(&controlwin::RadioButton1), "textutil -convert txt ", 22,
         Shape::Document, ""},
        {"rtf", vorpel::rtf, none, "textutil -convert rtf ", 22, Shape::Document, ""},
        {"html/UTF-16", vorpel::html, doc(&controlwin::RadioButton2),
         "textutil -convert html  -encoding UTF-16  -editor ZENTO -Generator ZENTO ", 73,
         Shape::Document, ""},
        {"html/auto", vorpel::html, doc(&controlwin::RadioButton1),
         "textutil -convert html  -editor ZENTO -Generator ZENTO  ", 56, Shape::Document, ""},
        {"html/no images", vorpel::html, doc(&controlwin::RadioButton8),
         "textutil -convert html  -nostore  -editor ZENTO -Generator ZENTO  ", 66,
         Shape::Document, ""},
        {"xml", vorpel::xml, none, "textutil -convert wordml ", 25, Shape::Document, ""},
        {"rtfd", vorpel::rtfd, none, "textutil -convert rtfd ", 23, Shape::Document, ""},
        {"archiveweb/auto", vorpel::archiveweb, doc(&controlwin::RadioButton1),
         "textutil -convert webarchive -editor ZENTO -Generator ZENTO  ", 61, Shape::Document,
         ""},
        {"archiveweb/UTF-16", vorpel::archiveweb, doc(&controlwin::RadioButton2),
         "textutil -convert webarchive  -utf16  -editor ZENTO -Generator ZENTO  ", 70,
         Shape::Document, ""},
        {"archiveweb/no images", vorpel::archiveweb, doc(&controlwin::RadioButton8),
         "textutil -convert webarchive  -noload  -nostore  -editor ZENTO -Generator ZENTO  ", 81,
         Shape::Document, ""},
        {"xhtml/Windows-1252", vorpel::xhtml, doc(&controlwin::RadioButton5),
         "tidy -asxhtml  -quiet -utf8 -bare -omit -clean -win1252 < ", 58, Shape::Markup,
         "Untitled.xhtml"},
        {"xhtml/UTF-8", vorpel::xhtml, doc(&controlwin::RadioButton3),
         "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  < ", 59, Shape::Markup,
         "Untitled.xhtml"},
        {"xhtml/Shift-JIS", vorpel::xhtml, doc(&controlwin::RadioButton4),
         "tidy -asxhtml  -quiet -utf8 -bare -omit -clean -shiftjis < ", 59, Shape::Markup,
         "Untitled.xhtml"},
        {"xhtml/UTF-16", vorpel::xhtml, doc(&controlwin::RadioButton6),
         "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  -utf16 < ", 66, Shape::Markup,
         "Untitled.xhtml"},
        {"xhtml/Big 5", vorpel::xhtml, doc(&controlwin::RadioButton15),
         "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  -big5 < ", 65, Shape::Markup,
         "Untitled.xhtml"},
        {"tohtml", vorpel::tohtml, none, "tidy -html -numeric -quiet -utf8 -bare -omit < ", 47,
         Shape::Markup, "Untitled.html"},
        {"lock", vorpel::lock, none, "chflags -R uchg ", 16, Shape::Document, ""},
        {"unlock", vorpel::unlock, none, "chflags -R nouchg ", 18, Shape::Document, ""},
        {"aud", vorpel::aud, none, "textutil -convert txt -stdout ", 30, Shape::Speech,
         "Untitled.aiff"},
        {"jpeg", vorpelimage::jpeg, none, kSips1 + "jpeg" + kSips2, 64, Shape::Image,
         "Untitled.jpeg"},
        {"gif", vorpelimage::gif, none, kSips1 + "gif" + kSips2, 63, Shape::Image,
         "Untitled.gif"},
        {"png", vorpelimage::png, none, kSips1 + "png" + kSips2, 63, Shape::Image,
         "Untitled.png"},
        {"tiff", vorpelimage::tiff, none, kSips1 + "tiff" + kSips2, 64, Shape::Image,
         "Untitled.tiff"},
        {"bmp", vorpelimage::bmp, none, kSips1 + "bmp" + kSips2, 63, Shape::Image,
         "Untitled.bmp"},
        {"pict", vorpelimage::pict, none, kSips1 + "pict" + kSips2, 64, Shape::Image,
         "Untitled.pict"},
        {"psd", vorpelimage::psd, none, kSips1 + "psd" + kSips2, 63, Shape::Image,
         "Untitled.psd"},
        {"jpg2", vorpelimage::jpg2, none, kSips1 + "jp2" + kSips2, 63, Shape::Image,
         "Untitled.jp2"},
        {"pdf", vorpelimage::pdf, none, kSips1 + "pdf" + kSips2, 63, Shape::Image,
         "Untitled.pdf"},
    };
}

std::string expectedCommand(const Row& r, const Source& s, const std::string& voice = "BadNews") {
    const std::string out = s.escapedFolder + "/" + r.outputName;
    switch (r.shape) {
    case Shape::Document: return r.prefix + s.escaped;
    case Shape::Markup: return r.prefix + s.escaped + " >  " + out;
    case Shape::Image: return r.prefix + s.escaped + " --out " + out;
    case Shape::Speech: return r.prefix + s.escaped + " | say -v " + voice + " -o " + out;
    }
    return {};
}

class Routines : public RoadTest {};

TEST_F(Routines, EveryVariantBuildsItsCommandCharacterForCharacter) {
    for (const Row& r : rows()) {
        ASSERT_EQ(r.prefix.size(), r.length) << r.name;
        for (const Source& s : kSources) {
            SCOPED_TRACE(std::string(r.name) + " on " + s.path);
            roadkit::closeAllWindows();
            runner.calls.clear();
            r.options();
            EXPECT_TRUE(r.routine(FolderItem(s.path), true));
            ASSERT_EQ(runner.calls.size(), 1u);
            EXPECT_EQ(runner.calls[0].command, expectedCommand(r, s));
        }
    }
}

TEST_F(Routines, FlagFalseRunsTheSameCommandAsTrue) {
    for (const Row& r : rows()) {
        SCOPED_TRACE(r.name);
        runner.calls.clear();
        r.options();
        r.routine(FolderItem(kSources[0].path), true);
        r.routine(FolderItem(kSources[0].path), false);
        ASSERT_EQ(runner.calls.size(), 2u);
        EXPECT_EQ(runner.calls[0].command, runner.calls[1].command);
    }
}

// Window up, bar at 0 of 0, timer armed and the hints switched, all before the tool starts.
TEST_F(Routines, ProgressWindowIsUpAndArmedBeforeTheCommandRuns) {
    for (const Row& r : rows()) {
        SCOPED_TRACE(r.name);
        roadkit::closeAllWindows();
        queue({"/tmp/road/x.rtf"});
        runner.calls.clear();
        r.options();
        r.routine(FolderItem(kSources[0].path), true);
        ASSERT_EQ(runner.calls.size(), 1u);
        const roadkit::Snapshot& seen = runner.calls[0].seen;
        EXPECT_TRUE(seen.progressOpen);
        EXPECT_TRUE(seen.progressVisible);
        EXPECT_EQ(seen.timer2Mode, 2);
        EXPECT_EQ(seen.barMaximum, 0);
        EXPECT_EQ(seen.barValue, 0);
        EXPECT_FALSE(seen.dropMoreVisible);
        EXPECT_TRUE(seen.dragHereVisible);
        // The routine never closes the window itself: its timer does, later.
        ASSERT_NE(WinIfOpen<vorpel::progressdes>(), nullptr);
        EXPECT_TRUE(WinIfOpen<vorpel::progressdes>()->Visible());
    }
}

QButtonGroup* clusterOf(vorpel::ui::RadioButton* b) { return b->group(); }

// Clears a whole cluster, which the user cannot do: the routine must then do nothing at all.
void clearCluster(vorpel::ui::RadioButton* member) {
    QButtonGroup* g = clusterOf(member);
    ASSERT_NE(g, nullptr);
    g->setExclusive(false);
    for (QAbstractButton* b : g->buttons()) b->setChecked(false);
    g->setExclusive(true);
}

TEST_F(Routines, NoOptionOnMeansNothingRunShownOrRecorded) {
    struct Case {
        const char* name;
        Routine routine;
        std::function<void()> options;
    };
    using vorpel::controlwin;
    const std::vector<Case> cases = {
        // "Discard images" is not an option of txt.
        {"txt with only RadioButton8", vorpel::txt, doc(&controlwin::RadioButton8)},
        {"html, text cluster cleared", vorpel::html,
         [] { clearCluster(Win<controlwin>().RadioButton1); }},
        {"archiveweb, text cluster cleared", vorpel::archiveweb,
         [] { clearCluster(Win<controlwin>().RadioButton1); }},
        {"xhtml, encodings cleared", vorpel::xhtml,
         [] { clearCluster(Win<controlwin>().RadioButton3); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        roadkit::closeAllWindows();
        queue({"/tmp/road/x.rtf"});
        runner.calls.clear();
        c.options();
        EXPECT_FALSE(c.routine(FolderItem(kSources[0].path), true));
        EXPECT_TRUE(runner.calls.empty());
        EXPECT_EQ(WinIfOpen<vorpel::progressdes>(), nullptr);
        vorpel::qconvert& screen = Win<vorpel::qconvert>();
        EXPECT_TRUE(screen.StaticText44->isVisibleTo(&screen)) << "hint labels were touched";
        EXPECT_FALSE(screen.StaticText31->isVisibleTo(&screen));
        EXPECT_TRUE(vorpel::Failures::empty());
    }
}

TEST_F(Routines, TohtmlRunsWhateverTheEncodingCluster) {
    clearCluster(Win<vorpel::controlwin>().RadioButton3);
    EXPECT_TRUE(vorpel::tohtml(FolderItem("/tmp/road/index.htm"), true));
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(runner.calls[0].command,
              "tidy -html -numeric -quiet -utf8 -bare -omit < /tmp/road/index.htm >  "
              "/tmp/road/Untitled.html");
}

// With two options on at once, the first in each routine's testing order wins.
TEST_F(Routines, OptionsAreTestedInTheirOrder) {
    using vorpel::controlwin;
    struct Case {
        const char* name;
        Routine routine;
        std::vector<vorpel::ui::RadioButton* controlwin::*> on;
        std::string prefix;
    };
    const std::vector<Case> cases = {
        {"txt: UTF-16 before auto", vorpel::txt,
         {&controlwin::RadioButton1, &controlwin::RadioButton2},
         "textutil -convert txt  -encoding UTF-16 "},
        {"html: UTF-16 before auto", vorpel::html,
         {&controlwin::RadioButton1, &controlwin::RadioButton2, &controlwin::RadioButton8},
         "textutil -convert html  -encoding UTF-16  -editor ZENTO -Generator ZENTO "},
        {"html: auto before no images", vorpel::html,
         {&controlwin::RadioButton1, &controlwin::RadioButton8},
         "textutil -convert html  -editor ZENTO -Generator ZENTO  "},
        {"archiveweb: auto before UTF-16", vorpel::archiveweb,
         {&controlwin::RadioButton1, &controlwin::RadioButton2, &controlwin::RadioButton8},
         "textutil -convert webarchive -editor ZENTO -Generator ZENTO  "},
        {"archiveweb: UTF-16 before no images", vorpel::archiveweb,
         {&controlwin::RadioButton2, &controlwin::RadioButton8},
         "textutil -convert webarchive  -utf16  -editor ZENTO -Generator ZENTO  "},
        {"xhtml: Windows-1252 first", vorpel::xhtml,
         {&controlwin::RadioButton3, &controlwin::RadioButton5, &controlwin::RadioButton15},
         "tidy -asxhtml  -quiet -utf8 -bare -omit -clean -win1252 < "},
        {"xhtml: UTF-8 before Shift-JIS", vorpel::xhtml,
         {&controlwin::RadioButton4, &controlwin::RadioButton3, &controlwin::RadioButton6},
         "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  < "},
        {"xhtml: Shift-JIS before UTF-16", vorpel::xhtml,
         {&controlwin::RadioButton4, &controlwin::RadioButton6, &controlwin::RadioButton15},
         "tidy -asxhtml  -quiet -utf8 -bare -omit -clean -shiftjis < "},
        {"xhtml: UTF-16 before Big 5", vorpel::xhtml,
         {&controlwin::RadioButton6, &controlwin::RadioButton15},
         "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  -utf16 < "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        roadkit::closeAllWindows();
        runner.calls.clear();
        controlwin& panel = Win<controlwin>();
        for (QButtonGroup* g : {clusterOf(panel.RadioButton1), clusterOf(panel.RadioButton3)}) {
            g->setExclusive(false);
            for (QAbstractButton* b : g->buttons()) b->setChecked(false);
        }
        for (auto member : c.on) (panel.*member)->setChecked(true);
        EXPECT_TRUE(c.routine(FolderItem("/tmp/road/a.htm"), true));
        ASSERT_EQ(runner.calls.size(), 1u);
        EXPECT_EQ(runner.calls[0].command.substr(0, c.prefix.size()), c.prefix);
        EXPECT_EQ(runner.calls[0].command.find("/tmp/road/a.htm"), c.prefix.size());
    }
}

TEST_F(Routines, OutputNamesFollowTheTypedNameOrTheSource) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        Routine routine;
        std::string source;
        std::string expectedTail;  // what follows the source in the command
    };
    const std::vector<Case> cases = {
        {"xhtml, typed name with a blank",
         [] { Win<vorpel::controlwin>().EditField1->setText("My Page"); }, vorpel::xhtml,
         "/tmp/road/in.htm", " >  /tmp/road/My\\ Page.xhtml"},
        {"xhtml, empty name", [] { Win<vorpel::controlwin>().EditField1->setText(""); },
         vorpel::xhtml, "/tmp/road/in.htm", " >  /tmp/road/.xhtml"},
        {"tohtml, name kept untrimmed",
         [] { Win<vorpel::controlwin>().EditField1->setText(" out "); }, vorpel::tohtml,
         "/tmp/road/in.htm", " >  /tmp/road/\\ out\\ .html"},
        {"jpeg, empty name", [] { Win<vorpel::imagecontrol>().EditField3->setText(""); },
         vorpelimage::jpeg, "/tmp/pics/photo.png", " --out /tmp/pics/.jpeg"},
        {"jpeg, ticked auto-name box",
         [] { Win<vorpel::imagecontrol>().CheckBox2->setChecked(true); }, vorpelimage::jpeg,
         "/tmp/pics/photo.png", " --out /tmp/pics/photo.png.jpeg"},
        {"jpg2, ticked auto-name box",
         [] { Win<vorpel::imagecontrol>().CheckBox2->setChecked(true); }, vorpelimage::jpg2,
         "/tmp/pics/photo.png", " --out /tmp/pics/photo.png.jp2"},
        {"png from a png: a new file beside it", [] {}, vorpelimage::png, "/tmp/pics/a.png",
         " --out /tmp/pics/Untitled.png"},
        {"png, typed name with a blank",
         [] { Win<vorpel::imagecontrol>().EditField3->setText("Holiday 2"); }, vorpelimage::png,
         "/tmp/pics/a.gif", " --out /tmp/pics/Holiday\\ 2.png"},
        {"aud, ticked auto-name box",
         [] { Win<vorpel::audiocontrol>().CheckBox1->setChecked(true); }, vorpel::aud,
         "/tmp/docs/letter.rtf", " | say -v BadNews -o /tmp/docs/letter.rtf.aiff"},
        {"aud, empty name", [] { Win<vorpel::audiocontrol>().EditField3->setText(""); },
         vorpel::aud, "/tmp/docs/letter.rtf", " | say -v BadNews -o /tmp/docs/.aiff"},
        {"aud, another voice",
         [] { Win<vorpel::audiocontrol>().PopupMenu1->setCurrentText("Alex"); }, vorpel::aud,
         "/tmp/docs/letter.rtf", " | say -v Alex -o /tmp/docs/Untitled.aiff"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        roadkit::closeAllWindows();
        runner.calls.clear();
        c.setUp();
        EXPECT_TRUE(c.routine(FolderItem(c.source), true));
        ASSERT_EQ(runner.calls.size(), 1u);
        const std::string& cmd = runner.calls[0].command;
        const size_t at = cmd.find(c.source);
        ASSERT_NE(at, std::string::npos) << cmd;
        EXPECT_EQ(cmd.substr(at + c.source.size()), c.expectedTail);
    }
}

// A name that cannot be one file in the source's folder: false, before anything is shown or run.
TEST_F(Routines, UnformableOutputEndsTheRoutineBeforeAnythingHappens) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        Routine routine;
        std::string source;
    };
    const std::vector<Case> cases = {
        {"xhtml, slash in name", [] { Win<vorpel::controlwin>().EditField1->setText("a/b"); },
         vorpel::xhtml, "/tmp/road/in.htm"},
        {"tohtml, slash in name", [] { Win<vorpel::controlwin>().EditField1->setText("../x"); },
         vorpel::tohtml, "/tmp/road/in.htm"},
        {"gif, slash in name", [] { Win<vorpel::imagecontrol>().EditField3->setText("sub/out"); },
         vorpelimage::gif, "/tmp/pics/a.png"},
        {"aud, slash in name", [] { Win<vorpel::audiocontrol>().EditField3->setText("/"); },
         vorpel::aud, "/tmp/docs/letter.rtf"},
        {"jpeg, NUL in name",
         [] { Win<vorpel::imagecontrol>().EditField3->setText(QString("a") + QChar(0) + "b"); },
         vorpelimage::jpeg, "/tmp/pics/a.png"},
        {"xhtml, root as source", [] {}, vorpel::xhtml, "/"},
        {"pdf, root as source", [] {}, vorpelimage::pdf, "/"},
        {"aud, root as source", [] {}, vorpel::aud, "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        roadkit::closeAllWindows();
        queue({"/tmp/road/x.rtf"});
        runner.calls.clear();
        c.setUp();
        EXPECT_FALSE(c.routine(FolderItem(c.source), true));
        EXPECT_TRUE(runner.calls.empty());
        EXPECT_EQ(WinIfOpen<vorpel::progressdes>(), nullptr);
        vorpel::qconvert& screen = Win<vorpel::qconvert>();
        EXPECT_TRUE(screen.StaticText44->isVisibleTo(&screen));
        EXPECT_TRUE(vorpel::Failures::empty());
    }
}

TEST_F(Routines, ANameWithASlashAndTheAutoNameBoxStillConverts) {
    // The typed name is not read when the box is ticked.
    Win<vorpel::imagecontrol>().EditField3->setText("a/b");
    Win<vorpel::imagecontrol>().CheckBox2->setChecked(true);
    EXPECT_TRUE(vorpelimage::bmp(FolderItem("/tmp/pics/a.png"), true));
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_NE(runner.calls[0].command.find(" --out /tmp/pics/a.png.bmp"), std::string::npos);
}

TEST_F(Routines, AFolderIsPassedLikeAFile) {
    EXPECT_TRUE(vorpel::lock(FolderItem("/tmp/road/My Folder/"), true));
    EXPECT_TRUE(vorpel::rtf(FolderItem("/tmp/road/My Folder"), true));
    EXPECT_EQ(runner.commands(),
              (std::vector<std::string>{"chflags -R uchg /tmp/road/My\\ Folder",
                                        "textutil -convert rtf /tmp/road/My\\ Folder"}));
}

// Status 0 is success everywhere; tidy's warning status 1 is success for the markup routines.
TEST_F(Routines, ExitStatusDecidesTheResultAndFailuresAreRecorded) {
    struct Case {
        const char* name;
        Routine routine;
        int status;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"rtf 0", vorpel::rtf, 0, true},        {"rtf 1", vorpel::rtf, 1, false},
        {"lock 1", vorpel::lock, 1, false},     {"unlock 127", vorpel::unlock, 127, false},
        {"xhtml 0", vorpel::xhtml, 0, true},    {"xhtml 1", vorpel::xhtml, 1, true},
        {"xhtml 2", vorpel::xhtml, 2, false},   {"tohtml 1", vorpel::tohtml, 1, true},
        {"tohtml 2", vorpel::tohtml, 2, false}, {"tohtml 3", vorpel::tohtml, 3, false},
        {"png 1", vorpelimage::png, 1, false},  {"aud 1", vorpel::aud, 1, false},
        {"txt 2", vorpel::txt, 2, false},       {"archiveweb 0", vorpel::archiveweb, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        roadkit::closeAllWindows();
        vorpel::Failures::clear();
        runner.script({{c.status, "tool: cannot read it\n"}});
        EXPECT_EQ(c.routine(FolderItem("/tmp/road/report.pages"), true), c.expected);
        if (c.expected) {
            EXPECT_TRUE(vorpel::Failures::empty());
        } else {
            ASSERT_EQ(list().size(), 1u);
            EXPECT_EQ(vorpel::Failures::report(), "report.pages: tool: cannot read it");
        }
    }
}

} // namespace

// A tool would wait on a pipe forever and hold the program with it: every routine that reads
// the item refuses one, with a message; lock and unlock only set flags and still run.
TEST_F(Routines, APipeIsRefusedUnlessOnlyItsFlagsChange) {
    vorpeltest::TempDir dir;
    const std::filesystem::path pipe = dir / "a pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const Row& r : rows()) {
        SCOPED_TRACE(r.name);
        roadkit::closeAllWindows();
        vorpel::Failures::clear();
        runner.calls.clear();
        r.options();
        const bool flagsOnly = r.routine == vorpel::lock || r.routine == vorpel::unlock;
        EXPECT_EQ(r.routine(FolderItem(pipe), true), flagsOnly);
        if (flagsOnly) {
            EXPECT_EQ(runner.calls.size(), 1u);
            EXPECT_TRUE(vorpel::Failures::empty());
        } else {
            EXPECT_TRUE(runner.calls.empty());
            EXPECT_EQ(vorpel::Failures::report(), "a pipe: not a regular file or folder");
        }
    }
    // A link to a pipe is the pipe; a regular file beside it is not refused.
    std::filesystem::create_symlink(pipe, dir / "link");
    EXPECT_TRUE(FolderItem(dir / "link").Special());
    vorpeltest::writeFile(dir / "plain.rtf", "{\\rtf1 x}");
    EXPECT_FALSE(FolderItem(dir / "plain.rtf").Special());
    EXPECT_FALSE(FolderItem(dir.path()).Special());
    EXPECT_FALSE(FolderItem(dir / "missing").Special());
}
