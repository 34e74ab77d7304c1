#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_file;
struct zip_source;
struct z_stream_s;

// Zip packages in memory (libzip), as docx and odt use them.
namespace textutil::zip {

// Read access to a zip held in memory or in a file; the bytes must outlive the archive.
class Archive {
public:
    // Throws std::runtime_error when the bytes are not a readable zip.
    explicit Archive(std::string_view bytes);
    explicit Archive(std::string&&) = delete;  // would dangle
    // The zip in `bytes`, or when they are empty the one in `file`, which libzip then reads
    // through a small buffer: a large package is never held whole.
    Archive(std::string_view bytes, const std::filesystem::path& file);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool has(const std::string& name) const;
    // The entry's content, or nothing when absent; throws when it cannot be inflated.
    std::optional<std::string> read(const std::string& name) const;

    // An entry inflated piece by piece, under the same limits as read(), for a part too
    // large to hold whole. It must not outlive its archive.
    class Entry {
    public:
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;
        // Up to `size` bytes into `buf`; 0 at the end; throws when damaged or past the limit.
        size_t read(char* buf, size_t size);

    private:
        friend class Archive;
        Entry(zip_file* f, std::string name, unsigned long long limit, bool sized);
        zip_file* f_;
        std::string name_;
        unsigned long long limit_, done_ = 0;
        bool sized_;
    };
    // Null when the entry is absent.
    std::unique_ptr<Entry> open(const std::string& name) const;
    std::vector<std::string> names() const;

private:
    ::zip* za_ = nullptr;
};

// True when the bytes start like a zip and hold an entry of this name (cheap probe).
bool containsEntry(std::string_view bytes, const std::string& name);

// An entry's content deflated as it is written, so a large part is only ever held
// compressed. The bytes are those Builder::add would make of the whole text.
class DeflatedPart {
public:
    DeflatedPart();
    ~DeflatedPart();
    DeflatedPart(DeflatedPart&&) noexcept;
    DeflatedPart& operator=(DeflatedPart&&) = delete;
    DeflatedPart(const DeflatedPart&) = delete;

    void write(std::string_view data);
    // Ends the stream; nothing may be written after.
    void finish();

    unsigned long long compressedSize() const { return compressedSize_; }
    // Up to `size` bytes of the deflated stream from `offset` into `buf`; how many were copied.
    size_t copyCompressed(unsigned long long offset, char* buf, size_t size) const;
    unsigned long long size() const { return size_; }
    unsigned long crc() const { return crc_; }

private:
    void pump(int flush);
    void append(const char* data, size_t size);
    std::unique_ptr<z_stream_s> z_;
    // The deflated stream in pieces of one size, the last one partly filled: a long part
    // neither doubles its buffer as it grows nor is copied when it ends.
    std::vector<std::string> out_;
    unsigned long long compressedSize_ = 0;
    unsigned long long size_ = 0;
    unsigned long crc_ = 0;
    bool finished_ = false;
};

// Builds a zip in memory; entries are written in the order added.
class Builder {
public:
    void add(std::string name, std::string data, bool compress = true);
    // An entry deflated already; finished here if it was not.
    void add(std::string name, DeflatedPart part);
    std::string finish();
    // The same package written into `fd`, a regular file open for reading and writing, which
    // it replaces from the start: a package is then never held whole.
    void finish(int fd);

private:
    void write(zip_source* out);
    struct Entry {
        std::string name, data;
        bool compress;
        std::unique_ptr<DeflatedPart> deflated;
    };
    std::vector<Entry> entries_;
};

} // namespace textutil::zip
