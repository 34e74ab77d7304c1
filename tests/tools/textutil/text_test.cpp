// Plain text: encoding detection, line endings, output encodings, and what is not text.
#include "encoding.h"
#include "fixtures.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace textutil;

namespace {

Document text(const std::string& bytes, const std::string& forced = {}) {
    Input in;
    in.bytes = bytes;
    ReadOptions o;
    o.inputEncoding = forced;
    return readTxt(in, o);
}

TEST(textutilPlainText, EncodingDetectionOrder) {
    EXPECT_EQ(text("\xEF\xBB\xBFhi \xC3\xA9").plainText(), "hi é");
    EXPECT_EQ(text(std::string("\xFF\xFEh\0i\0", 6)).plainText(), "hi");
    EXPECT_EQ(text(std::string("\xFE\xFF\0h\0i", 6)).plainText(), "hi");
    EXPECT_EQ(text(std::string("h\0e\0l\0l\0o\0", 10)).plainText(), "hello");
    EXPECT_EQ(text("na\xC3\xAFve").plainText(), "naïve");
    // Not UTF-8: Windows-1252, including its 0x80-0x9F punctuation.
    EXPECT_EQ(text("na\xEFve \x93q\x94 \x80").plainText(), "naïve “q” €");
    EXPECT_EQ(text("caf\x8e", "MACINTOSH").plainText(), "café");
    EXPECT_THROW(text("x", "NO-SUCH-CHARSET"), std::runtime_error);
}

// A paragraph in each script, and the legacy encodings it is found in without a declaration.
struct Sample {
    const char* text;
    std::vector<std::string> encodings;
};
const std::vector<Sample>& legacySamples() {
    static const std::vector<Sample> samples = {
        {"臺北市是中華民國的首都，位於臺灣北部的臺北盆地。這座城市有許多歷史悠久的廟宇、熱鬧的夜市"
         "和現代化的建築。每年都有大量的旅客來這裡參觀故宮博物院，品嚐當地的美食，並且搭乘捷運遊覽"
         "各個地區。臺北的交通十分便利，生活機能也很完善，因此吸引了來自世界各地的人們在此工作與學"
         "習。",
         {"BIG5"}},
        {"北京是中华人民共和国的首都，也是全国的政治、文化和国际交流中心。这座城市有三千多年的建城"
         "史，拥有故宫、天坛和长城等众多名胜古迹。每年都有大量游客来到这里参观游览，品尝北京烤鸭等"
         "传统美食。近年来，北京的经济发展迅速，交通网络不断完善，地铁线路已经覆盖了城市的大部分地"
         "区。",
         {"GB18030"}},
        {"東京は日本の首都であり、世界でも有数の大都市です。江戸時代には徳川幕府が置かれ、明治維新"
         "の後に現在の名前になりました。街には古いお寺や神社と、高いビルや新しい商業施設が並んでい"
         "ます。電車や地下鉄がとても便利なので、多くの人々が毎日通勤や通学に利用しています。春には"
         "桜が咲き、秋には紅葉を楽しむことができます。",
         {"SHIFT_JIS", "EUC-JP"}},
        {"서울은 대한민국의 수도이며 한반도의 중심에 위치한 대도시입니다. 조선 시대부터 수도였던 "
         "이 도시에는 경복궁과 창덕궁 같은 오래된 궁궐이 남아 있습니다. 한강이 도시의 가운데를 "
         "흐르고 있으며, 많은 사람들이 강변 공원에서 산책을 하거나 자전거를 탑니다. 지하철이 잘 "
         "발달되어 있어서 어디든지 편리하게 갈 수 있습니다.",
         {"EUC-KR"}},
        {"Москва является столицей Российской Федерации и крупнейшим городом страны. Город "
         "расположен на реке Москве в центре Восточно-Европейской равнины. Здесь находятся Кремль, "
         "Красная площадь, Большой театр и множество музеев. Московское метро считается одним из "
         "самых красивых в мире, а его станции украшены мозаикой, мрамором и бронзовыми "
         "скульптурами.",
         {"KOI8-R", "WINDOWS-1251", "ISO-8859-5", "IBM866"}},
        {"ירושלים היא עיר עתיקה הנמצאת בהרי יהודה, בין הים התיכון לים המלח. העיר קדושה לשלוש הדתות "
         "הגדולות, ובה נמצאים הכותל המערבי, כנסיית הקבר וכיפת הסלע. בעיר העתיקה יש סמטאות צרות, "
         "שווקים צבעוניים ובתי כנסת רבים. מדי שנה מגיעים אליה מבקרים רבים מכל רחבי העולם כדי לראות "
         "את האתרים ההיסטוריים.",
         {"WINDOWS-1255", "ISO-8859-8"}},
        {"القاهرة هي عاصمة جمهورية مصر العربية وأكبر مدنها، وتقع على ضفاف نهر النيل في شمال "
         "البلاد. تضم المدينة العديد من المعالم التاريخية مثل الأهرامات وأبو الهول والجامع الأزهر. "
         "يعيش في القاهرة ملايين الناس، وتعد مركزا مهما للثقافة والتجارة والتعليم في العالم "
         "العربي، كما تشتهر بأسواقها القديمة ومقاهيها الشعبية.",
         {"WINDOWS-1256", "ISO-8859-6"}},
        {"Η Αθήνα είναι η πρωτεύουσα της Ελλάδας και μία από τις αρχαιότερες πόλεις του κόσμου. "
         "Στην Ακρόπολη βρίσκεται ο Παρθενώνας, ένας ναός αφιερωμένος στη θεά Αθηνά. Η πόλη έχει "
         "πολλά μουσεία, θέατρα και πλατείες, όπου οι κάτοικοι και οι επισκέπτες συναντιούνται για "
         "να πιουν καφέ και να συζητήσουν για την καθημερινή ζωή.",
         {"ISO-8859-7", "WINDOWS-1253"}},
        {"Praha je hlavní město České republiky a leží na řece Vltavě. Historické centrum města je "
         "zapsáno na seznamu světového dědictví UNESCO. Návštěvníci obdivují Pražský hrad, Karlův "
         "most, Staroměstské náměstí s orlojem a mnoho krásných kostelů. Město je také známé svými "
         "kavárnami, divadly a pivnicemi, kde se scházejí přátelé a rodiny.",
         {"ISO-8859-2", "WINDOWS-1250"}},
        {"Kraków jest jednym z najstarszych i najpiękniejszych miast w Polsce. Przez wiele wieków "
         "był stolicą kraju i siedzibą królów. Na Wawelu znajduje się zamek królewski oraz "
         "katedra, w której pochowano wielu władców. Rynek Główny należy do największych placów "
         "średniowiecznej Europy, a w jego centrum stoją Sukiennice i kościół Mariacki z wysoką "
         "wieżą.",
         {"ISO-8859-2"}},
        {"İstanbul, Türkiye'nin en kalabalık şehri ve ülkenin ekonomik, kültürel ve tarihi "
         "merkezidir. Şehir, Avrupa ile Asya'yı birbirinden ayıran İstanbul Boğazı'nın iki "
         "yakasında kurulmuştur. Ayasofya, Topkapı Sarayı ve Sultanahmet Camii gibi önemli yapılar "
         "her yıl milyonlarca ziyaretçiyi ağırlar. Kapalıçarşı'da yüzlerce dükkân bulunur ve çarşı "
         "her gün çok kalabalık olur.",
         {"ISO-8859-9"}},
        {"Die Stadt München liegt im Süden Deutschlands an der Isar und ist die Hauptstadt des "
         "Freistaates Bayern. Sie ist bekannt für das Oktoberfest, die Frauenkirche, das Deutsche "
         "Museum und zahlreiche Biergärten. Viele Menschen schätzen die Nähe zu den Alpen, wo man "
         "im Winter Ski fahren und im Sommer wandern kann. Die Straßen sind sauber, und die "
         "öffentlichen Verkehrsmittel fahren pünktlich.",
         {"ISO-8859-15"}},
    };
    return samples;
}

TEST(textutilPlainText, UndeclaredLegacyEncodingsAreDetected) {
    for (const Sample& s : legacySamples()) {
        for (const std::string& enc : s.encodings) {
            SCOPED_TRACE(enc);
            const std::string bytes = convertEncoding(s.text, "UTF-8", enc, false);
            ASSERT_FALSE(isValidUtf8(bytes));
            EXPECT_EQ(text(bytes).plainText(), s.text);
            // The same bytes as an HTML page that declares no charset.
            Input page;
            page.bytes =
                "<html><head><title>t</title></head><body><p>" + bytes + "</p></body></html>";
            EXPECT_EQ(readHtml(page, {}).plainText(), s.text);
            // A stated encoding still wins over the guess.
            EXPECT_EQ(text(bytes, "ISO-8859-1").plainText(),
                      convertEncoding(bytes, "ISO-8859-1", "UTF-8"));
        }
    }
}

TEST(textutilPlainText, ShortOrUncertainTextFallsBackToWindows1252) {
    // Too few non-ASCII bytes to tell code pages apart, or a guess that would give C1 controls.
    EXPECT_EQ(text("Zo\xEB").plainText(), "Zoë");
    EXPECT_EQ(text("It\x92s fine").plainText(), "It’s fine");
    EXPECT_EQ(text("\xC0\xC9\xCE\xD5\xDC").plainText(), "ÀÉÎÕÜ");
    EXPECT_EQ(text("Ca va tr\xE8s bien, \x93merci\x94 \x96 \xE0 bient\xF4t, na\xEFve \xE9l\xE8ve.")
                  .plainText(),
              "Ca va très bien, “merci” – à bientôt, naïve élève.");
    EXPECT_EQ(text("plain ASCII only").plainText(), "plain ASCII only");
    EXPECT_EQ(guessLegacyEncoding("Zo\xEB"), "CP1252");
}

TEST(textutilPlainText, StatefulCodePagesLoseNothingBetweenCalls) {
    // The converters are cached: a letter held back by one call must neither vanish nor
    // turn up in the next.
    EXPECT_EQ(convertEncoding("\xF9\xEC\xE5\xED", "CP1255", "UTF-8"), "שלום");
    EXPECT_EQ(convertEncoding("\xE0", "CP1255", "UTF-8"), "א");
    EXPECT_EQ(text("\xF9\xEC\xE5\xED\n\xE0", "windows-1255").plainText(), "שלום\nא");
}

TEST(textutilPlainText, LineEndingsMakeParagraphs) {
    const Document doc = text("one\r\ntwo\rthree\n\nfive\n");
    ASSERT_EQ(doc.blocks.size(), 5u);
    EXPECT_EQ(doc.blocks[2].paragraph.plainText(), "three");
    EXPECT_EQ(doc.blocks[3].paragraph.plainText(), "");
    EXPECT_EQ(writeTxt(doc, {}).data, "one\ntwo\nthree\n\nfive\n");
    EXPECT_EQ(text("no newline").blocks.size(), 1u);
}

TEST(textutilPlainText, OutputEncodings) {
    const Document doc = text("é€\n");
    WriteOptions o;
    o.encoding = "UTF-16";
    EXPECT_EQ(writeTxt(doc, o).data, std::string("\xFF\xFE\xE9\x00\xAC\x20\x0A\x00", 8));
    o.encoding = "windows-1252";
    EXPECT_EQ(writeTxt(doc, o).data, "\xE9\x80\n");
    o.encoding = "UTF-16BE";
    EXPECT_EQ(writeTxt(doc, o).data, std::string("\x00\xE9\x20\xAC\x00\x0A", 6));
}

TEST(textutilPlainText, BinaryIsNotText) {
    Input png;
    png.bytes = textutiltest::samplePng();
    EXPECT_FALSE(detectTxt(png));
    Input noise;
    for (int i = 0; i < 512; ++i) noise.bytes += static_cast<char>((i * 7919 + 13) % 251 + 1);
    EXPECT_FALSE(detectTxt(noise));
    EXPECT_EQ(detectFormat(noise), nullptr);
    Input plain;
    plain.bytes = "just words\twith a tab\f\n";
    EXPECT_TRUE(detectTxt(plain));
}

TEST(textutilPlainText, DetectionPrefersSignatures) {
    auto fmt = [](const std::string& bytes) {
        Input in;
        in.bytes = bytes;
        const Format* f = detectFormat(in);
        return f ? std::string(f->name) : std::string("none");
    };
    EXPECT_EQ(fmt("{\\rtf1 x}"), "rtf");
    EXPECT_EQ(fmt("<!DOCTYPE html><p>x"), "html");
    EXPECT_EQ(fmt("  <HTML><BODY>x"), "html");
    EXPECT_EQ(fmt("a < b and c > d"), "txt");
    EXPECT_EQ(fmt("Use <br> and <table> in your pages."), "txt");
    EXPECT_EQ(fmt("\n  <div>fragment</div>"), "html");
    EXPECT_EQ(fmt("bplist00 no archive here"), "txt");
}

TEST(textutilPlainText, CorpusEncodings) {
    VORPEL_REQUIRE_CORPUS();
    const auto c = vorpeltest::corpusDir();
    auto read = [&](const std::string& rel, const std::string& enc = {}) {
        ReadOptions o;
        o.inputEncoding = enc;
        return readDocument(c / rel, o).plainText();
    };
    EXPECT_NE(read("txt/utf16le-bom.txt").find("café naïve façade"), std::string::npos);
    EXPECT_NE(read("txt/utf-8-bom_ude_4.txt").find("コンソール"), std::string::npos);
    EXPECT_NE(read("txt/Molière cp1252.txt").find("MOLIÈRE"), std::string::npos);
    EXPECT_NE(read("txt/iso-8859-1_ude_2.txt").find("dépend"), std::string::npos);
    EXPECT_NE(read("txt/mac-roman.txt", "MACINTOSH").find("café naïve"), std::string::npos);
    EXPECT_NE(read("txt/sample-russian.txt", "MAC-CYRILLIC").find("систем"), std::string::npos);
    EXPECT_NE(read("txt/sample-chinese.txt", "BIG5").find("維基"), std::string::npos);
    // Undeclared: the same text found by detection.
    EXPECT_NE(read("txt/sample-russian.txt").find("систем"), std::string::npos);
    EXPECT_NE(read("txt/sample-chinese.txt").find("維基"), std::string::npos);
    EXPECT_NE(read("txt/Molière cp1252.txt").find("MOLIÈRE"), std::string::npos);
    const std::string big5 = read("html/_chromium_Big5_with_no_encoding_specified.html");
    EXPECT_NE(big5.find("台北看守所昨天抽查前總統陳水扁的房舍"), std::string::npos) << big5;
    EXPECT_EQ(big5.find("\xEF\xBF\xBD"), std::string::npos) << big5;
    EXPECT_NE(read("html/_mozilla_bug421271_text.html").find("£"), std::string::npos);
}

} // namespace
