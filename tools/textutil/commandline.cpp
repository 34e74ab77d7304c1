#include "commandline.h"

#include "encoding.h"
#include "formats.h"

#include "platform/atomicfile.h"
#include "platform/toolerror.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;
using vorpel::ToolError;

namespace textutil {

namespace {

enum class Mode { None, Convert, Cat, Info, Help };

struct Options {
    Mode mode = Mode::None;
    std::string format;          // of -convert / -cat
    std::string inputFormat;     // -format
    std::string extension;
    std::string output;
    bool toStdout = false;
    bool fromStdin = false;
    bool strip = false;
    std::string font;
    double fontSize = 0;
    std::map<std::string, std::string> meta;  // option name -> value
    ReadOptions read;
    WriteOptions write;
    std::vector<std::string> inputs;
};

ToolError usage(const std::string& reason) {
    return ToolError("", reason + " (textutil -help for usage)", vorpel::ExitUsage);
}

std::vector<std::string> splitList(const std::string& v) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : v) {
        if (c == '(' || c == ')' || c == ',' || c == ' ' || c == '\t') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void setMode(Options& o, Mode m) {
    if (o.mode != Mode::None && o.mode != m) throw usage("only one of -convert, -cat and -info may be given");
    o.mode = m;
}

Options parse(const std::vector<std::string>& args) {
    Options o;
    static const char* metaOptions[] = {"-title", "-author", "-subject", "-keywords", "-comment", "-editor",
                                        "-company", "-creationtime", "-modificationtime"};
    bool endOfOptions = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.empty()) continue;  // doubled blanks from a command prefix that was split naively
        if (endOfOptions || a[0] != '-' || a == "-") {
            o.inputs.push_back(a);
            continue;
        }
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw usage("option " + a + " needs a value");
            return args[++i];
        };
        if (a == "--") endOfOptions = true;
        else if (a == "-help" || a == "--help" || a == "-h") setMode(o, Mode::Help);
        else if (a == "-convert") { setMode(o, Mode::Convert); o.format = lowerCase(value()); }
        else if (a == "-cat") { setMode(o, Mode::Cat); o.format = lowerCase(value()); }
        else if (a == "-info") setMode(o, Mode::Info);
        else if (a == "-format") o.inputFormat = lowerCase(value());
        else if (a == "-encoding") o.write.encoding = value();
        else if (a == "-utf16") { o.write.utf16 = true; o.write.encoding = "UTF-16"; }
        else if (a == "-inputencoding") o.read.inputEncoding = value();
        else if (a == "-extension") o.extension = value();
        else if (a == "-output" || a == "-o") o.output = value();
        else if (a == "-stdout") o.toStdout = true;
        else if (a == "-stdin") o.fromStdin = true;
        else if (a == "-nostore") o.write.noStore = true;
        else if (a == "-noload") o.read.noLoad = true;
        else if (a == "-strip") o.strip = true;
        else if (a == "-font") o.font = value();
        else if (a == "-fontsize") {
            const std::string v = value();
            o.fontSize = std::atof(v.c_str());
            if (o.fontSize <= 0) throw usage("bad font size " + v);
        } else if (a == "-Generator" || a == "-generator") o.write.generator = value();
        else if (a == "-excludedelements") o.write.excludedElements = splitList(value());
        else if (a == "-prefixspaces") o.write.prefixSpaces = std::max(0, std::atoi(value().c_str()));
        else if (a == "-baseurl") o.read.baseUrl = value();
        else if (a == "-timeout" || a == "-textsizemultiplier") value();  // accepted, no effect here
        else {
            bool known = false;
            for (const char* m : metaOptions) {
                if (a == m) {
                    o.meta[a.substr(1)] = value();
                    known = true;
                }
            }
            if (!known) throw usage("unknown option " + a);
        }
    }
    return o;
}

void applyOptions(Document& doc, const Options& o) {
    if (o.strip) doc.meta = Metadata();
    for (const auto& [k, v] : o.meta) {
        Metadata& m = doc.meta;
        if (k == "title") m.title = v;
        else if (k == "author") m.author = v;
        else if (k == "subject") m.subject = v;
        else if (k == "keywords") m.keywords = v;
        else if (k == "comment") m.comment = v;
        else if (k == "editor") m.editor = v;
        else if (k == "company") m.company = v;
        else if (k == "creationtime") m.creationTime = v;
        else if (k == "modificationtime") m.modificationTime = v;
    }
    if (!o.write.generator.empty()) doc.meta.generator = o.write.generator;
    if (o.font.empty() && o.fontSize <= 0) return;
    // The default font: given to text that names none.
    auto apply = [&](Paragraph& p) {
        for (Run& r : p.runs) {
            r.style.edit([&](CharStyle& s) {
                if (!o.font.empty() && s.font.empty()) s.font = o.font;
                if (o.fontSize > 0 && s.size <= 0) s.size = o.fontSize;
            });
        }
    };
    doc.forEachParagraph(apply);
}

std::string readStdin() {
    std::string data;
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ToolError("stdin", vorpel::errnoText(errno));
        }
        if (n == 0) break;
        data.append(buf, size_t(n));
    }
    return data;
}

fs::path cleanPath(const std::string& p) {
    std::string s = p;
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return fs::path(s);
}

Input loadInput(const Options& o, const std::string& input) {
    Input in;
    if (input == "-" || (o.fromStdin && input.empty())) {
        in.bytes = readStdin();
        return in;
    }
    in.path = cleanPath(input);
    std::error_code ec;
    const auto st = fs::status(in.path, ec);
    if (ec || !fs::exists(st)) throw ToolError(input, vorpel::errnoText(ENOENT));
    if (fs::is_directory(st)) {
        in.isFolder = true;
        return in;
    }
    try {
        in.bytes = readWholeFile(in.path);  // one buffer of the file's size, not a stream's copies
        in.ofFile = true;
    } catch (const ToolError& e) {
        throw ToolError(input, e.what());
    }
    return in;
}

// Reads the document, detecting its format unless -format names it; `used` gets the format.
Document decode(const Options& o, Input in, const std::string& input, const Format** used = nullptr) {
    const std::string where = in.path.empty() ? std::string("stdin") : input;
    const Format* f = nullptr;
    if (!o.inputFormat.empty()) {
        f = findFormat(o.inputFormat);
        if (!f || !f->read) throw usage("cannot read format " + o.inputFormat);
        if (in.isFolder != f->bundle) throw ToolError(where, "not a " + std::string(f->name) + " document");
    } else {
        f = detectFormat(in);
    }
    if (used) *used = f;
    if (!in.isFolder && in.bytes.empty()) throw ToolError(where, "file is empty");
    if (!f) throw ToolError(where, in.isFolder ? "folder is not an RTFD document" : "not a document in a readable format");
    try {
        return readAs(*f, std::move(in), o.read);
    } catch (const ToolError&) {
        throw;
    } catch (const std::exception& e) {
        throw ToolError(where, std::string(f->name) + " document cannot be read: " + e.what());
    }
}

Document load(const Options& o, const std::string& input) {
    return decode(o, loadInput(o, input), input);
}

void writeStdout(std::string_view data) {
    size_t off = 0;
    while (off < data.size()) {
        const ssize_t n = ::write(1, data.data() + off, data.size() - off);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ToolError("stdout", vorpel::errnoText(errno));
        }
        off += size_t(n);
    }
}

// The output file, created when the first bytes come: a writer that fails before it has any
// leaves nothing behind, and one that fails later only a temporary that is removed.
class FileSink : public Sink {
public:
    explicit FileSink(fs::path target) : target_(std::move(target)) {}
    void write(std::string_view data) override { file().write(data); }
    int fd() override { return file().fd(); }
    void commit() { file().commit(); }

private:
    vorpel::AtomicFile& file() {
        if (!file_) file_ = std::make_unique<vorpel::AtomicFile>(target_);
        return *file_;
    }
    fs::path target_;
    std::unique_ptr<vorpel::AtomicFile> file_;
};

class StdoutSink : public Sink {
public:
    void write(std::string_view data) override { writeStdout(data); }
};

Output produce(const Document& doc, const Format& fmt, const Options& o, const fs::path& target,
               const std::string& where, Sink* sink) {
    WriteOptions w = o.write;
    w.outputPath = target;
    w.sink = sink;
    try {
        return fmt.write(doc, w);
    } catch (const ToolError&) {
        throw;
    } catch (const std::exception& e) {
        throw ToolError(where, std::string("cannot write ") + std::string(fmt.name) + ": " + e.what());
    }
}

void storeBundle(const Output& out, const fs::path& target) {
    vorpel::AtomicDir dir(target);
    for (const auto& [name, data] : out.files) {
        vorpel::AtomicFile f(dir.tempPath() / name);
        f.write(data);
        f.commit();
    }
    dir.commit();
}

// Writes the document to `target`, or to standard output with -stdout. A writer may hand its
// bytes on as it makes them, so a long output is never held whole.
void emit(const Document& doc, const Format& fmt, const Options& o, const fs::path& target,
          const std::string& where) {
    if (o.toStdout) {
        StdoutSink sink;
        const Output out = produce(doc, fmt, o, target, where, &sink);
        if (!out.streamed) sink.write(out.data);
    } else if (fmt.bundle) {
        storeBundle(produce(doc, fmt, o, target, where, nullptr), target);
    } else {
        FileSink sink(target);
        const Output out = produce(doc, fmt, o, target, where, &sink);
        if (!out.streamed) sink.write(out.data);
        sink.commit();
    }
}

fs::path outputFor(const Options& o, const std::string& input, const Format& fmt) {
    if (!o.output.empty()) return fs::path(o.output);
    fs::path p = cleanPath(input);
    p.replace_extension(o.extension.empty() ? std::string(fmt.extension) : o.extension);
    return p;
}

void report(const ToolError& e) {
    std::fprintf(stderr, "textutil: %s\n", e.render().c_str());
}

const Format& targetFormat(const Options& o) {
    const Format* f = findFormat(o.format);
    if (!f || !f->write) throw usage("unknown format " + o.format);
    if (o.toStdout && f->bundle) throw usage(std::string(f->name) + " is a folder and cannot go to standard output");
    return *f;
}

int convert(const Options& o) {
    const Format& fmt = targetFormat(o);
    std::vector<std::string> inputs = o.inputs;
    if (o.fromStdin) inputs.insert(inputs.begin(), "-");
    if (inputs.empty()) throw usage("no input files");
    if (!o.output.empty() && inputs.size() > 1) throw usage("-output needs exactly one input file");
    if ((inputs.size() == 1 && inputs[0] == "-") && o.output.empty() && !o.toStdout)
        throw usage("standard input needs -output or -stdout");
    int status = vorpel::ExitOk;
    for (const std::string& input : inputs) {
        try {
            Document doc = load(o, input);
            applyOptions(doc, o);
            const fs::path target = o.toStdout ? fs::path() : outputFor(o, input, fmt);
            emit(doc, fmt, o, target, input);
        } catch (const ToolError& e) {
            if (e.status() == vorpel::ExitUsage) throw;
            report(e);
            status = vorpel::ExitFailure;
        }
    }
    return status;
}

void append(Document& into, Document&& doc) {
    std::vector<int> remap;
    for (Attachment& a : doc.attachments) remap.push_back(into.addAttachment(std::move(a)));
    // Notes move along, so references shift by the notes already there.
    const int noteBase = int(into.notes.size());
    doc.forEachParagraph([&](Paragraph& p) {
        for (Run& r : p.runs) {
            if (r.attachment >= 0) r.attachment = remap[size_t(r.attachment)];
            if (r.note >= 0) r.note += noteBase;
        }
    });
    for (Block& b : doc.blocks) into.blocks.push_back(std::move(b));
    for (Note& n : doc.notes) into.notes.push_back(std::move(n));
    if (into.header.empty()) into.header = std::move(doc.header);
    if (into.footer.empty()) into.footer = std::move(doc.footer);
    if (into.meta.title.empty()) into.meta = doc.meta;
}

int concatenate(const Options& o) {
    const Format& fmt = targetFormat(o);
    std::vector<std::string> inputs = o.inputs;
    if (o.fromStdin) inputs.insert(inputs.begin(), "-");
    if (inputs.empty()) throw usage("no input files");
    Document all;
    for (const std::string& input : inputs) append(all, load(o, input));
    applyOptions(all, o);
    const fs::path target = o.toStdout ? fs::path()
                            : !o.output.empty() ? fs::path(o.output)
                                                : fs::path("out." + (o.extension.empty() ? std::string(fmt.extension) : o.extension));
    emit(all, fmt, o, target, target.string());
    return vorpel::ExitOk;
}

int info(const Options& o) {
    if (o.inputs.empty()) throw usage("no input files");
    int status = vorpel::ExitOk;
    for (const std::string& input : o.inputs) {
        try {
            Input in = loadInput(o, input);
            std::error_code ec;
            uintmax_t size = in.bytes.size();
            if (in.isFolder)
                for (const auto& e : fs::recursive_directory_iterator(in.path, ec))
                    if (e.is_regular_file()) size += e.file_size();
            const Format* format = nullptr;
            const Document doc = decode(o, std::move(in), input, &format);
            const std::string type = format ? std::string(format->name) : "unknown";
            const std::string text = doc.plainText();
            size_t chars = 0;
            for (size_t i = 0; i < text.size(); ++i) chars += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
            std::string out = "File:  " + input + "\n";
            out += "  Type:  " + type + "\n";
            out += "  Size:  " + std::to_string(size) + " bytes\n";
            out += "  Length:  " + std::to_string(chars) + " characters\n";
            const Metadata& m = doc.meta;
            auto field = [&](const char* name, const std::string& v) {
                if (!v.empty()) out += std::string("  ") + name + ":  " + v + "\n";
            };
            field("Title", m.title);
            field("Author", m.author);
            field("Subject", m.subject);
            field("Keywords", m.keywords);
            field("Comment", m.comment);
            field("Editor", m.editor);
            field("Company", m.company);
            field("Created", m.creationTime);
            field("Modified", m.modificationTime);
            field("Generator", m.generator);
            if (!doc.attachments.empty()) out += "  Attachments:  " + std::to_string(doc.attachments.size()) + "\n";
            writeStdout(out);
        } catch (const ToolError& e) {
            if (e.status() == vorpel::ExitUsage) throw;
            report(e);
            status = vorpel::ExitFailure;
        }
    }
    return status;
}

} // namespace

std::string usageText() {
    std::string formats;
    for (const Format& f : textutil::formats()) formats += (formats.empty() ? "" : " ") + std::string(f.name);
    return "Usage: textutil [command] [options] file...\n"
           "Commands:\n"
           "  -help                 show this text\n"
           "  -info                 describe each file\n"
           "  -convert FMT          convert each file to FMT, written beside it with FMT's extension\n"
           "  -cat FMT              join the files into one FMT document (out.FMT unless -output)\n"
           "Formats: " + formats + "\n"
           "Options:\n"
           "  -extension EXT        extension of the output files\n"
           "  -output PATH          output file (one input, or -cat)\n"
           "  -stdin                read the document from standard input\n"
           "  -stdout               write the result to standard output\n"
           "  -format FMT           read the input as FMT instead of detecting it\n"
           "  -encoding NAME        character set of txt and html output (IANA name; UTF-16 writes a BOM)\n"
           "  -utf16                same as -encoding UTF-16\n"
           "  -inputencoding NAME   character set of plain-text or html input\n"
           "  -font NAME            font for text that names none\n"
           "  -fontsize N           size for text that names none\n"
           "  -nostore              html, webarchive: leave pictures out\n"
           "  -noload               html: don't load pictures referenced by the page\n"
           "  -baseurl URL          html: base for relative picture references\n"
           "  -excludedelements (A, B)  html: elements not to write\n"
           "  -prefixspaces N       html: indent nested elements by N spaces\n"
           "  -strip                don't carry metadata over from the input\n"
           "  -title, -author, -subject, -keywords, -comment, -editor, -company VAL   set metadata\n"
           "  -creationtime, -modificationtime YYYY-MM-DDThh:mm:ssZ                  set metadata\n"
           "  -Generator NAME       generator named in html output\n"
           "Pictures in html output are embedded as data: URLs; rtfd keeps them as files in the bundle,\n"
           "webarchive as subresources. Output replaces any earlier file of the same name atomically.\n";
}

int runCommandLine(const std::vector<std::string>& args) {
    Options o = parse(args);
    if (!o.write.encoding.empty()) {
        std::string e = o.write.encoding;
        for (char& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (e != "UTF-16" && e != "UNICODE" && !encodingKnown(o.write.encoding)) throw usage("unknown encoding " + o.write.encoding);
    }
    if (!o.read.inputEncoding.empty() && !encodingKnown(o.read.inputEncoding))
        throw usage("unknown encoding " + o.read.inputEncoding);
    switch (o.mode) {
    case Mode::Help: writeStdout(usageText()); return vorpel::ExitOk;
    case Mode::Convert: return convert(o);
    case Mode::Cat: return concatenate(o);
    case Mode::Info: return info(o);
    case Mode::None: break;
    }
    std::fputs(usageText().c_str(), stderr);
    return vorpel::ExitUsage;
}

} // namespace textutil
