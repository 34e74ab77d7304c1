#include "zipfile.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace textutil::zip {

Archive::Archive(std::string_view bytes) : Archive(bytes, std::filesystem::path()) {}

Archive::Archive(std::string_view bytes, const std::filesystem::path& file) {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = bytes.empty() && !file.empty()
                            ? zip_source_file_create(file.c_str(), 0, -1, &err)  // -1: to its end
                            : zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
    if (src) {
        za_ = zip_open_from_source(src, ZIP_RDONLY, &err);
        if (!za_) zip_source_free(src);
    }
    const std::string reason = zip_error_strerror(&err);
    zip_error_fini(&err);
    if (!za_) throw std::runtime_error("not a readable zip archive (" + reason + ")");
}

Archive::~Archive() {
    if (za_) zip_discard(za_);
}

bool Archive::has(const std::string& name) const { return zip_name_locate(za_, name.c_str(), 0) >= 0; }

namespace {

// A small package inflating to gigabytes is an attack, not a document. The size in the
// header is only a claim: the count of inflated bytes is what stops the reading.
constexpr zip_uint64_t kLimit = zip_uint64_t(1) << 30;
constexpr const char* kTooLarge = " is too large (over 1 GiB inflated)";

} // namespace

std::unique_ptr<Archive::Entry> Archive::open(const std::string& name) const {
    const zip_int64_t idx = zip_name_locate(za_, name.c_str(), 0);
    if (idx < 0) return nullptr;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za_, zip_uint64_t(idx), 0, &st) != 0)
        throw std::runtime_error("zip entry " + name + " cannot be read");
    const bool sized = st.valid & ZIP_STAT_SIZE;
    if (sized && st.size > kLimit) throw std::runtime_error("zip entry " + name + kTooLarge);
    zip_file_t* f = zip_fopen_index(za_, zip_uint64_t(idx), 0);
    if (!f) throw std::runtime_error("zip entry " + name + " cannot be opened (" + zip_strerror(za_) + ")");
    return std::unique_ptr<Entry>(new Entry(f, name, sized ? st.size : kLimit, sized));
}

Archive::Entry::Entry(zip_file* f, std::string name, unsigned long long limit, bool sized)
    : f_(f), name_(std::move(name)), limit_(limit), sized_(sized) {}

Archive::Entry::~Entry() {
    zip_fclose(f_);
}

size_t Archive::Entry::read(char* buf, size_t size) {
    const zip_int64_t n = zip_fread(f_, buf, size);
    if (n < 0) throw std::runtime_error("zip entry " + name_ + " is damaged");
    if (zip_uint64_t(n) > limit_ - done_)
        throw std::runtime_error("zip entry " + name_ +
                                 (sized_ ? " is larger than its header says" : kTooLarge));
    done_ += zip_uint64_t(n);
    return size_t(n);
}

std::optional<std::string> Archive::read(const std::string& name) const {
    const std::unique_ptr<Entry> e = open(name);
    if (!e) return std::nullopt;
    std::string data;
    if (e->sized_) data.reserve(size_t(e->limit_));
    char buf[65536];
    while (const size_t n = e->read(buf, sizeof buf))
        data.append(buf, n);
    return data;
}

std::vector<std::string> Archive::names() const {
    std::vector<std::string> out;
    const zip_int64_t n = zip_get_num_entries(za_, 0);
    for (zip_int64_t i = 0; i < n; ++i)
        if (const char* s = zip_get_name(za_, zip_uint64_t(i), 0)) out.emplace_back(s);
    return out;
}

bool containsEntry(std::string_view bytes, const std::string& name) {
    if (bytes.substr(0, 4) != std::string_view("PK\x03\x04", 4)) return false;
    try {
        return Archive(bytes).has(name);
    } catch (const std::exception&) {
        return false;
    }
}

DeflatedPart::DeflatedPart() : z_(std::make_unique<z_stream_s>()) {
    *z_ = z_stream_s{};
    // What libzip uses for ZIP_CM_DEFLATE at its default level, so the bytes do not change
    // with the way an entry was added.
    if (deflateInit2(z_.get(), Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, MAX_MEM_LEVEL,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("cannot start deflating");
    crc_ = ::crc32(0, nullptr, 0);
}

DeflatedPart::DeflatedPart(DeflatedPart&& o) noexcept
    : z_(std::move(o.z_)), out_(std::move(o.out_)), compressedSize_(o.compressedSize_),
      size_(o.size_), crc_(o.crc_), finished_(o.finished_) {}

DeflatedPart::~DeflatedPart() {
    if (z_) deflateEnd(z_.get());
}

void DeflatedPart::pump(int flush) {
    char buf[65536];
    int r;
    do {
        z_->next_out = reinterpret_cast<Bytef*>(buf);
        z_->avail_out = sizeof buf;
        r = deflate(z_.get(), flush);
        if (r == Z_STREAM_ERROR) throw std::runtime_error("cannot deflate");
        append(buf, sizeof buf - z_->avail_out);
    } while (z_->avail_out == 0 || (flush == Z_FINISH && r != Z_STREAM_END));
}

namespace {

constexpr size_t kPiece = size_t(1) << 20;

} // namespace

void DeflatedPart::append(const char* data, size_t size) {
    while (size > 0) {
        if (out_.empty() || out_.back().size() == kPiece) {
            out_.emplace_back();
            // The first piece grows as usual: most parts stay small.
            if (out_.size() > 1) out_.back().reserve(kPiece);
        }
        std::string& last = out_.back();
        const size_t n = std::min(size, kPiece - last.size());
        last.append(data, n);
        data += n;
        size -= n;
        compressedSize_ += n;
    }
}

size_t DeflatedPart::copyCompressed(unsigned long long offset, char* buf, size_t size) const {
    size_t copied = 0;
    while (copied < size && offset < compressedSize_) {
        const std::string& piece = out_[size_t(offset / kPiece)];
        const size_t at = size_t(offset % kPiece);
        const size_t n = std::min(size - copied, piece.size() - at);
        std::memcpy(buf + copied, piece.data() + at, n);
        copied += n;
        offset += n;
    }
    return copied;
}

void DeflatedPart::write(std::string_view data) {
    if (finished_) throw std::logic_error("write after the end of a deflated part");
    size_ += data.size();
    while (!data.empty()) {
        // zlib counts in 32 bits.
        const size_t n = std::min<size_t>(data.size(), 1u << 30);
        crc_ = ::crc32(crc_, reinterpret_cast<const Bytef*>(data.data()), uInt(n));
        z_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z_->avail_in = uInt(n);
        pump(Z_NO_FLUSH);
        data.remove_prefix(n);
    }
}

void DeflatedPart::finish() {
    if (finished_) return;
    z_->next_in = nullptr;
    z_->avail_in = 0;
    pump(Z_FINISH);
    finished_ = true;
    if (!out_.empty()) out_.back().shrink_to_fit();
}

void Builder::add(std::string name, std::string data, bool compress) {
    entries_.push_back({std::move(name), std::move(data), compress, nullptr});
}

void Builder::add(std::string name, DeflatedPart part) {
    part.finish();
    entries_.push_back({std::move(name), {}, true, std::make_unique<DeflatedPart>(std::move(part))});
}

namespace {

// A source handing libzip data deflated already, which it copies as it is.
struct RawSource {
    const DeflatedPart* part;
    size_t at = 0;
    zip_error_t error;
    ~RawSource() { zip_error_fini(&error); }
};

zip_int64_t rawSource(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    RawSource& s = *static_cast<RawSource*>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        s.at = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const size_t n = s.part->copyCompressed(s.at, static_cast<char*>(data),
                                                size_t(std::min<zip_uint64_t>(len, SIZE_MAX)));
        s.at += n;
        return zip_int64_t(n);
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_STAT: {
        if (len < sizeof(zip_stat_t)) return -1;
        zip_stat_t* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
        st->size = s.part->size();
        st->comp_size = s.part->compressedSize();
        st->comp_method = ZIP_CM_DEFLATE;
        st->crc = zip_uint32_t(s.part->crc());
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
        if (len < sizeof(zip_file_attributes_t)) return -1;
        zip_file_attributes_t* a = static_cast<zip_file_attributes_t*>(data);
        // The flag libzip's own deflating sets: maximum compression.
        a->valid |= ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
        a->general_purpose_bit_flags = 0x0002;
        a->general_purpose_bit_mask = 0x0006;
        return 0;
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s.error, data, len);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default:
        zip_error_set(&s.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// A regular file as the package's destination: libzip writes its headers, goes back to fill
// in sizes, and may read what it wrote.
struct FileTarget {
    int fd;
    zip_uint64_t readAt = 0, writeAt = 0;
    zip_error_t error;
    ~FileTarget() { zip_error_fini(&error); }
};

zip_int64_t fileTarget(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    FileTarget& t = *static_cast<FileTarget*>(state);
    auto fail = [&](int code) -> zip_int64_t {
        zip_error_set(&t.error, code, errno);
        return -1;
    };
    auto fileSize = [&]() -> zip_int64_t {
        struct stat st {};
        return ::fstat(t.fd, &st) == 0 ? zip_int64_t(st.st_size) : -1;
    };
    // The place a seek asks for, from `at` in a file of `size` bytes; -1 when it is before the
    // start.
    auto seekTo = [&](zip_uint64_t at, zip_int64_t size) -> zip_int64_t {
        const auto* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, len, &t.error);
        if (!args) return -1;
        const zip_int64_t base = args->whence == SEEK_SET   ? 0
                                 : args->whence == SEEK_CUR ? zip_int64_t(at)
                                                            : size;
        if (args->whence != SEEK_SET && args->whence != SEEK_CUR && args->whence != SEEK_END)
            return fail(ZIP_ER_INVAL);
        if (base < 0 || base + args->offset < 0) return fail(ZIP_ER_INVAL);
        return base + args->offset;
    };
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        t.readAt = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        ssize_t n;
        do
            n = ::pread(t.fd, data, size_t(len), off_t(t.readAt));
        while (n < 0 && errno == EINTR);
        if (n < 0) return fail(ZIP_ER_READ);
        t.readAt += zip_uint64_t(n);
        return n;
    }
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t to = seekTo(t.readAt, fileSize());
        if (to < 0) return -1;
        t.readAt = zip_uint64_t(to);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return zip_int64_t(t.readAt);
    case ZIP_SOURCE_STAT: {
        if (len < sizeof(zip_stat_t)) return fail(ZIP_ER_INVAL);
        const zip_int64_t size = fileSize();
        if (size < 0) return fail(ZIP_ER_READ);
        zip_stat_t* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE;
        st->size = zip_uint64_t(size);
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_BEGIN_WRITE:
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
        // Whatever was there is replaced; the caller's own clean-up removes a failed file.
        if (::ftruncate(t.fd, 0) != 0) return fail(ZIP_ER_WRITE);
        t.writeAt = 0;
        return 0;
    case ZIP_SOURCE_WRITE: {
        const char* p = static_cast<const char*>(data);
        for (zip_uint64_t done = 0; done < len;) {
            const ssize_t n = ::pwrite(t.fd, p + done, size_t(len - done), off_t(t.writeAt + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return fail(ZIP_ER_WRITE);
            done += zip_uint64_t(n);
        }
        t.writeAt += len;
        return zip_int64_t(len);
    }
    case ZIP_SOURCE_SEEK_WRITE: {
        const zip_int64_t to = seekTo(t.writeAt, fileSize());
        if (to < 0) return -1;
        t.writeAt = zip_uint64_t(to);
        return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
        return zip_int64_t(t.writeAt);
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_COMMIT_WRITE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&t.error, data, len);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS,
            ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE,
            ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, -1);
    default:
        zip_error_set(&t.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace

// Adds the entries to a new package on `out` (kept by the caller) and writes it there.
void Builder::write(zip_source_t* out) {
    zip_error_t err;
    zip_error_init(&err);
    zip_t* za = zip_open_from_source(out, ZIP_TRUNCATE, &err);
    zip_error_fini(&err);
    if (!za) throw std::runtime_error("cannot create zip archive");
    auto fail = [&](const std::string& what) {
        const std::string msg = what + " (" + zip_strerror(za) + ")";
        zip_discard(za);
        throw std::runtime_error(msg);
    };
    std::vector<std::unique_ptr<RawSource>> raws;
    for (const Entry& e : entries_) {
        zip_source_t* s = nullptr;
        if (e.deflated) {
            raws.push_back(std::make_unique<RawSource>(RawSource{e.deflated.get(), 0, {}}));
            zip_error_init(&raws.back()->error);
            s = zip_source_function(za, rawSource, raws.back().get());
        } else {
            s = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
        }
        if (!s) fail("cannot add " + e.name);
        const zip_int64_t idx = zip_file_add(za, e.name.c_str(), s, ZIP_FL_ENC_UTF_8);
        if (idx < 0) {
            zip_source_free(s);
            fail("cannot add " + e.name);
        }
        zip_set_file_compression(za, zip_uint64_t(idx), e.compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        zip_file_set_mtime(za, zip_uint64_t(idx), 315532800 + 86400, 0);  // fixed date: reproducible output
    }
    if (zip_close(za) != 0) fail("cannot write zip archive");
}

std::string Builder::finish() {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &err);
    zip_error_fini(&err);
    if (!out) throw std::runtime_error("cannot create zip buffer");
    zip_source_keep(out);
    try {
        write(out);
    } catch (...) {
        zip_source_free(out);
        throw;
    }
    std::string result;
    if (zip_source_open(out) == 0) {
        zip_source_seek(out, 0, SEEK_END);
        const zip_int64_t size = zip_source_tell(out);
        zip_source_seek(out, 0, SEEK_SET);
        result.resize(size_t(size > 0 ? size : 0));
        if (size > 0 && zip_source_read(out, result.data(), zip_uint64_t(size)) != size) result.clear();
        zip_source_close(out);
    }
    zip_source_free(out);
    if (result.empty()) throw std::runtime_error("cannot write zip archive");
    return result;
}

void Builder::finish(int fd) {
    FileTarget target{fd, 0, 0, {}};
    zip_error_init(&target.error);
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* out = zip_source_function_create(fileTarget, &target, &err);
    zip_error_fini(&err);
    if (!out) throw std::runtime_error("cannot create zip archive");
    zip_source_keep(out);
    try {
        write(out);
    } catch (...) {
        zip_source_free(out);
        throw;
    }
    zip_source_free(out);
}

} // namespace textutil::zip
