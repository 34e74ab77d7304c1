#include "zipfile.h"

#include <zip.h>

#include <stdexcept>

namespace textutil::zip {

Archive::Archive(std::string_view bytes) {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
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

} // namespace

std::unique_ptr<Archive::Entry> Archive::open(const std::string& name) const {
    const zip_int64_t idx = zip_name_locate(za_, name.c_str(), 0);
    if (idx < 0) return nullptr;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za_, zip_uint64_t(idx), 0, &st) != 0)
        throw std::runtime_error("zip entry " + name + " cannot be read");
    const bool sized = st.valid & ZIP_STAT_SIZE;
    if (sized && st.size > kLimit) throw std::runtime_error("zip entry " + name + " is too large");
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
                                 (sized_ ? " is larger than its header says" : " is too large"));
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

void Builder::add(std::string name, std::string data, bool compress) {
    entries_.push_back({std::move(name), std::move(data), compress});
}

std::string Builder::finish() {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &err);
    if (!out) throw std::runtime_error("cannot create zip buffer");
    zip_source_keep(out);
    zip_t* za = zip_open_from_source(out, ZIP_TRUNCATE, &err);
    if (!za) {
        zip_source_free(out);
        throw std::runtime_error("cannot create zip archive");
    }
    auto fail = [&](const std::string& what) {
        const std::string msg = what + " (" + zip_strerror(za) + ")";
        zip_discard(za);
        zip_source_free(out);
        throw std::runtime_error(msg);
    };
    for (const Entry& e : entries_) {
        zip_source_t* s = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
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
    zip_error_fini(&err);
    if (result.empty()) throw std::runtime_error("cannot write zip archive");
    return result;
}

} // namespace textutil::zip
