// One textutil reader on the fuzz input; FUZZ_FORMAT names it. Any exception is a clean
// refusal; crashes, hangs, leaks and sanitizer reports are findings.
#include "formats.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const textutil::Format& format() {
    static const textutil::Format* f = textutil::findFormat(FUZZ_FORMAT);
    if (!f || !f->read) std::abort();
    return *f;
}

// A private folder: the bundle for RTFD, the document's folder for relative HTML pictures.
const fs::path& workDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() /
                     ("vorpel-fuzz-" + std::string(FUZZ_FORMAT) + "-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const fs::path& dir = workDir();
    // RTFD: pictures a fuzzed \NeXTGraphic may name.
    static const unsigned char png[] = {
        0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
        0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0, 0x1F, 0x15, 0xC4, 0x89};
    std::ofstream(dir / "image.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png), sizeof png);
    std::ofstream(dir / "notes.txt", std::ios::binary) << "attached file";
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(workDir(), ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const textutil::Format& f = format();
    textutil::Input in;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (f.bundle) {
        // The bundle's text is the fuzz input.
        std::ofstream(workDir() / "TXT.rtf", std::ios::binary | std::ios::trunc) << bytes;
        in.path = workDir();
        in.isFolder = true;
    } else {
        in.path = workDir() / ("input." + std::string(f.extension));
        in.bytes = bytes;
        // A package from a file is read from the file, as the tool does; from a pipe, from bytes.
        if (f.readsFile && size % 2) {
            std::ofstream(in.path, std::ios::binary | std::ios::trunc) << bytes;
            in.bytes.clear();
            in.ofFile = true;
        }
    }
    try {
        const textutil::Document doc = f.read(in, textutil::ReadOptions{});
        (void)doc.plainText();
    } catch (const std::exception&) {
    }
    return 0;
}
