#include "ole.h"

#include <gsf/gsf.h>

#include "encoding.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <stdexcept>

namespace textutil::ole {

namespace {

void initOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // Damaged files make libgsf log assertions; the reader reports the failure itself.
        // libgsf also logs some assertions without a domain.
        for (const char* domain : {"libgsf:msole", "libgsf", "GLib-GObject", static_cast<const char*>(nullptr)})
            g_log_set_handler(domain, GLogLevelFlags(G_LOG_LEVEL_MASK), [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

struct Unref {
    void operator()(void* p) const {
        if (p) g_object_unref(p);
    }
};
template <class T>
using Ref = std::unique_ptr<T, Unref>;

// Summary property sets (the OLE property set stream format), read here rather than by
// libgsf, which leaks on broken sets. Anything out of bounds is simply absent.
class PropertySets {
public:
    explicit PropertySets(std::string_view stream) : d_(stream) {}

    // Decoded strings and dates of the set with this format id, by property id.
    std::map<uint32_t, std::string> read(const std::array<uint8_t, 16>& fmtid) const {
        std::map<uint32_t, std::string> out;
        if (u16(0) != 0xFFFE) return out;
        const uint32_t sets = std::min<uint32_t>(u32(24), 4);
        for (uint32_t i = 0; i < sets; ++i) {
            const size_t entry = 28 + 20 * size_t(i);
            if (entry + 20 > d_.size() || std::memcmp(d_.data() + entry, fmtid.data(), 16) != 0) continue;
            const size_t start = u32(entry + 16);
            if (start >= d_.size()) return out;
            const PropertySets set(d_.substr(start, std::min<size_t>(u32(start), d_.size() - start)));
            set.properties(out);
            return out;
        }
        return out;
    }

private:
    std::string_view d_;

    uint32_t u16(size_t at) const {
        return at + 2 <= d_.size() ? uint32_t(uint8_t(d_[at]) | uint8_t(d_[at + 1]) << 8) : 0;
    }
    uint32_t u32(size_t at) const { return at + 4 <= d_.size() ? u16(at) | u16(at + 2) << 16 : 0; }
    uint64_t u64(size_t at) const { return at + 8 <= d_.size() ? u32(at) | uint64_t(u32(at + 4)) << 32 : 0; }

    // This object is one property set: size, count, then (id, offset) pairs.
    void properties(std::map<uint32_t, std::string>& out) const {
        const uint32_t count = std::min<uint32_t>(u32(4), uint32_t(d_.size() / 8));
        int codePage = 1252;
        for (uint32_t i = 0; i < count; ++i)
            if (u32(8 + 8 * size_t(i)) == 1 && u16(u32(12 + 8 * size_t(i))) == 2 /* VT_I2 */)
                codePage = int(u16(u32(12 + 8 * size_t(i)) + 4));
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t id = u32(8 + 8 * size_t(i));
            const size_t at = u32(12 + 8 * size_t(i));
            if (id < 2 || at + 8 > d_.size()) continue;
            const uint32_t type = u16(at);
            const size_t len = u32(at + 4);
            std::string value;
            const size_t room = d_.size() - at - 8;  // a value cut short is damage: left out
            if (type == 0x1E /* VT_LPSTR */) {
                if (len <= room) value = text(d_.substr(at + 8, len), codePage);
            } else if (type == 0x1F /* VT_LPWSTR */) {
                if (len <= room / 2) value = text(d_.substr(at + 8, len * 2), 1200);
            } else if (type == 0x40 /* VT_FILETIME */) {
                value = date(u64(at + 4));
            }
            if (!value.empty()) out[id] = value;
        }
    }

    static std::string text(std::string_view bytes, int codePage) {
        try {
            if (codePage == 1200) {
                std::string units(bytes.substr(0, bytes.size() & ~size_t(1)));
                for (size_t k = 0; k + 1 < units.size(); k += 2)
                    if (units[k] == 0 && units[k + 1] == 0) units.resize(k);
                return convertEncoding(units, "UTF-16LE", "UTF-8");
            }
            bytes = bytes.substr(0, bytes.find('\0'));
            return convertEncoding(bytes, codePageName(codePage), "UTF-8");
        } catch (const std::exception&) {
            return decodeCp1252(bytes.substr(0, bytes.find('\0')));
        }
    }

    // FILETIME (100 ns since 1601) as ISO 8601 UTC; unset dates (1601, 1970) are empty.
    static std::string date(uint64_t filetime) {
        const int64_t secs = int64_t(filetime / 10000000) - 11644473600LL;
        if (secs < 0 || secs > 253402300799LL) return {};
        const time_t t = time_t(secs);
        struct tm tm {};
        if (!gmtime_r(&t, &tm) || tm.tm_year + 1900 == 1970) return {};
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
        return buf;
    }
};

constexpr std::array<uint8_t, 16> kSummaryInformation = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                                         0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr std::array<uint8_t, 16> kDocumentSummaryInformation = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                                                 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

void insertString(GsfDocMetaData* meta, const char* name, const std::string& value) {
    if (value.empty()) return;
    GValue* v = g_new0(GValue, 1);
    g_value_init(v, G_TYPE_STRING);
    g_value_set_string(v, value.c_str());
    gsf_doc_meta_data_insert(meta, g_strdup(name), v);
}

void insertTime(GsfDocMetaData* meta, const char* name, const std::string& iso) {
    if (iso.empty()) return;
    GsfTimestamp* ts = gsf_timestamp_new();
    if (gsf_timestamp_load_from_string(ts, iso.c_str())) {
        GValue* v = g_new0(GValue, 1);
        g_value_init(v, GSF_TIMESTAMP_TYPE);
        gsf_timestamp_to_value(ts, v);
        gsf_doc_meta_data_insert(meta, g_strdup(name), v);
    }
    gsf_timestamp_free(ts);
}

} // namespace

bool isCompoundFile(std::string_view bytes) {
    return bytes.size() >= 512 && bytes.substr(0, 8) == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

int codePageForLanguage(unsigned lid) {
    const int cp = gsf_msole_lid_to_codepage(lid);
    return cp > 0 ? cp : 1252;
}

struct Storage::Impl {
    Ref<GsfInput> input;
    Ref<GsfInfile> infile;
};

Storage::Storage(std::string_view bytes) : impl_(std::make_unique<Impl>()) {
    initOnce();
    impl_->input.reset(gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.data()), gsf_off_t(bytes.size()), FALSE));
    GError* err = nullptr;
    impl_->infile.reset(gsf_infile_msole_new(impl_->input.get(), &err));
    if (!impl_->infile) {
        std::string why = err && err->message ? err->message : "unknown error";
        if (err) g_error_free(err);
        throw std::runtime_error("not a readable compound file (" + why + ")");
    }
}

Storage::~Storage() = default;

bool Storage::has(const char* name) const {
    Ref<GsfInput> child(gsf_infile_child_by_name(impl_->infile.get(), name));
    return child != nullptr;
}

std::optional<std::string> Storage::stream(const char* name) const {
    Ref<GsfInput> child(gsf_infile_child_by_name(impl_->infile.get(), name));
    if (!child) return std::nullopt;
    const gsf_off_t size = gsf_input_size(child.get());
    std::string data(size_t(size), '\0');
    if (size > 0 && !gsf_input_read(child.get(), size_t(size), reinterpret_cast<guint8*>(data.data())))
        throw std::runtime_error(std::string("the ") + name + " stream is truncated");
    return data;
}

void Storage::readMetadata(Metadata& m) const {
    // Metadata is a bonus: a damaged property stream leaves it empty, not the document unread.
    const auto whole = [this](const char* name) {
        try {
            return stream(name).value_or(std::string());
        } catch (const std::exception&) {
            return std::string();
        }
    };
    const std::string summary = whole("\005SummaryInformation");
    std::map<uint32_t, std::string> p = PropertySets(summary).read(kSummaryInformation);
    m.title = p[2];
    m.subject = p[3];
    m.author = p[4];
    m.keywords = p[5];
    m.comment = p[6];
    m.editor = p[8];
    m.creationTime = p[12];
    m.modificationTime = p[13];
    m.generator = p[18];
    const std::string docSummary = whole("\005DocumentSummaryInformation");
    m.company = PropertySets(docSummary).read(kDocumentSummaryInformation)[15];
}

std::string build(const std::vector<std::pair<std::string, std::string>>& streams,
                  const std::array<uint8_t, 16>& classId, const Metadata* meta) {
    initOnce();
    Ref<GsfOutput> sink(gsf_output_memory_new());
    {
        Ref<GsfOutfile> ole(gsf_outfile_msole_new(sink.get()));
        if (!ole) throw std::runtime_error("cannot create a compound file");
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole.get()), classId.data());
        auto write = [&](const std::string& name, const std::string& data) {
            Ref<GsfOutput> child(gsf_outfile_new_child(ole.get(), name.c_str(), FALSE));
            if (!child || !gsf_output_write(child.get(), data.size(), reinterpret_cast<const guint8*>(data.data())) ||
                !gsf_output_close(child.get()))
                throw std::runtime_error("cannot write the " + name + " stream");
        };
        for (const auto& [name, data] : streams) write(name, data);
        if (meta) {
            Ref<GsfDocMetaData> md(gsf_doc_meta_data_new());
            insertString(md.get(), GSF_META_NAME_TITLE, meta->title);
            insertString(md.get(), GSF_META_NAME_CREATOR, meta->author);
            insertString(md.get(), GSF_META_NAME_SUBJECT, meta->subject);
            insertString(md.get(), GSF_META_NAME_KEYWORDS, meta->keywords);
            insertString(md.get(), GSF_META_NAME_DESCRIPTION, meta->comment);
            insertString(md.get(), GSF_META_NAME_LAST_SAVED_BY, meta->editor);
            insertString(md.get(), GSF_META_NAME_GENERATOR, meta->generator.empty() ? std::string("textutil") : meta->generator);
            insertTime(md.get(), GSF_META_NAME_DATE_CREATED, meta->creationTime);
            insertTime(md.get(), GSF_META_NAME_DATE_MODIFIED, meta->modificationTime);
            {
                Ref<GsfOutput> si(gsf_outfile_new_child(ole.get(), "\005SummaryInformation", FALSE));
                gsf_doc_meta_data_write_to_msole(md.get(), si.get(), FALSE);
                gsf_output_close(si.get());
            }
            Ref<GsfDocMetaData> dmd(gsf_doc_meta_data_new());
            insertString(dmd.get(), GSF_META_NAME_COMPANY, meta->company);
            Ref<GsfOutput> dsi(gsf_outfile_new_child(ole.get(), "\005DocumentSummaryInformation", FALSE));
            gsf_doc_meta_data_write_to_msole(dmd.get(), dsi.get(), TRUE);
            gsf_output_close(dsi.get());
        }
        if (!gsf_output_close(GSF_OUTPUT(ole.get()))) throw std::runtime_error("cannot write the compound file");
    }
    auto* mem = GSF_OUTPUT_MEMORY(sink.get());
    const guint8* bytes = gsf_output_memory_get_bytes(mem);
    const gsf_off_t size = gsf_output_size(sink.get());
    if (!bytes || size <= 0) throw std::runtime_error("cannot write the compound file");
    return std::string(reinterpret_cast<const char*>(bytes), size_t(size));
}

} // namespace textutil::ole
