#pragma once

#include "document.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The one table of formats the command line consults. Adding a format means one reader
// file, one writer file, their two declarations below and one row in formats.cpp.
namespace textutil {

// What a reader is given: the bytes of a file, or the path of a bundle folder.
struct Input {
    std::filesystem::path path;   // may be empty for standard input
    std::string bytes;            // the file's content; empty for a folder
    bool isFolder = false;
    bool ofFile = false;          // the bytes were read from the file at path, which may be opened again
};

struct ReadOptions {
    std::string inputEncoding;    // overrides detection of plain text and HTML
    bool noLoad = false;          // don't load pictures referenced by HTML
    std::string baseUrl;          // base for relative references in HTML
};

// Where a writer may hand its bytes as it makes them, so that a long output is never held whole.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void write(std::string_view data) = 0;
    // A regular file open for reading and writing that a writer may also write back into (a
    // zip's headers), or -1 when the bytes go to a pipe. Bytes written here and through
    // write() must not be mixed.
    virtual int fd() { return -1; }
};

// What a writer that streams keeps before handing it on: large enough for few system calls,
// small beside any document worth streaming.
constexpr size_t kSinkChunk = size_t(2) << 20;

// Hands `buffer` to `sink` once it holds a chunk (or whenever `all`) and empties it, keeping
// its capacity; does nothing without a sink.
void drain(Sink* sink, std::string& buffer, bool all = false);

struct WriteOptions {
    std::string encoding;         // IANA name for text and HTML; empty = UTF-8
    bool noStore = false;         // HTML: don't keep pictures
    bool utf16 = false;           // web archive: UTF-16 main resource
    std::string generator;        // HTML generator meta; empty = ours
    std::vector<std::string> excludedElements;  // HTML tags not to write (lower case)
    int prefixSpaces = 0;         // HTML: indent nested elements by this much
    std::filesystem::path outputPath;  // where the result will land (for URLs); may be empty
    Sink* sink = nullptr;         // single-file output may go here instead of into Output::data
};

// A writer's result: one file's bytes, or the files of a bundle folder.
struct Output {
    std::string data;
    bool streamed = false;        // the bytes went to WriteOptions::sink; data is empty
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes (bundles only)
};

struct Format {
    std::string_view name;        // the word given to -convert
    std::string_view extension;   // of the output, without the dot
    bool bundle;                  // output is a folder
    // True when the content (or folder) is this format; null for formats only written.
    bool (*detect)(const Input&);
    Document (*read)(const Input&, const ReadOptions&);
    Output (*write)(const Document&, const WriteOptions&);
    // The reader can take a file's path without its bytes (a zip read from the file), so the
    // bytes need not be held while it reads.
    bool readsFile = false;
};

const std::vector<Format>& formats();
const Format* findFormat(std::string_view name);
// The format of the content, or null when it is not a readable document.
const Format* detectFormat(const Input& in);
// Reads a file or bundle folder and the document in it; throws ToolError on failure.
Document readDocument(const std::filesystem::path& path, const ReadOptions& opts);
Document readDocument(Input in, const ReadOptions& opts);
// Runs `f`'s reader on `in`, first letting go of the bytes of a file the reader can open itself.
Document readAs(const Format& f, Input in, const ReadOptions& opts);

// The whole content of a file; throws ToolError naming the path.
std::string readWholeFile(const std::filesystem::path& path);

// A file a document refers to (a picture, a bundle's part), `name` taken relative to `folder`
// without following symbolic links: its bytes, or nothing when it is missing, unreadable or not
// a regular file. Throws when the name leads through a link.
std::optional<std::string> readReferencedFile(const std::filesystem::path& folder,
                                              const std::filesystem::path& name);

// Readers and writers, one file each.
bool detectTxt(const Input&);
Document readTxt(const Input&, const ReadOptions&);
Output writeTxt(const Document&, const WriteOptions&);

bool detectRtf(const Input&);
Document readRtf(const Input&, const ReadOptions&);
Output writeRtf(const Document&, const WriteOptions&);

bool detectRtfd(const Input&);
Document readRtfd(const Input&, const ReadOptions&);
Output writeRtfd(const Document&, const WriteOptions&);

bool detectHtml(const Input&);
Document readHtml(const Input&, const ReadOptions&);
Output writeHtml(const Document&, const WriteOptions&);

bool detectWebArchive(const Input&);
Document readWebArchive(const Input&, const ReadOptions&);
Output writeWebArchive(const Document&, const WriteOptions&);

// Office formats.
bool detectDocx(const Input&);
Document readDocx(const Input&, const ReadOptions&);
Output writeDocx(const Document&, const WriteOptions&);

bool detectOdt(const Input&);
Document readOdt(const Input&, const ReadOptions&);
Output writeOdt(const Document&, const WriteOptions&);

bool detectWordML(const Input&);
Document readWordML(const Input&, const ReadOptions&);
Output writeWordML(const Document&, const WriteOptions&);

bool detectDoc(const Input&);
Document readDoc(const Input&, const ReadOptions&);
Output writeDoc(const Document&, const WriteOptions&);

} // namespace textutil
