#include "ole.h"

#include <gsf/gsf.h>

#include <cstring>
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

std::string stringValue(GsfDocMetaData* meta, const char* name) {
    GsfDocProp* prop = gsf_doc_meta_data_lookup(meta, name);
    if (!prop) return {};
    const GValue* v = gsf_doc_prop_get_val(prop);
    if (!v) return {};
    if (G_VALUE_HOLDS_STRING(v)) {
        const char* s = g_value_get_string(v);
        return s ? s : "";
    }
    if (VAL_IS_GSF_TIMESTAMP(v)) {
        const auto* ts = static_cast<const GsfTimestamp*>(g_value_get_boxed(v));
        if (!ts) return {};
        char* s = gsf_timestamp_as_string(ts);
        std::string out = s ? s : "";
        g_free(s);
        // Unset dates come as the epoch of the file format or 1970.
        if (out.rfind("1601", 0) == 0 || out.rfind("1970", 0) == 0) return {};
        return out;
    }
    return {};
}

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
    Ref<GsfDocMetaData> meta(gsf_doc_meta_data_new());
    for (const char* name : {"\005SummaryInformation", "\005DocumentSummaryInformation"}) {
        Ref<GsfInput> child(gsf_infile_child_by_name(impl_->infile.get(), name));
        if (!child) continue;
        if (GError* err = gsf_doc_meta_data_read_from_msole(meta.get(), child.get())) g_error_free(err);
    }
    m.title = stringValue(meta.get(), GSF_META_NAME_TITLE);
    m.author = stringValue(meta.get(), GSF_META_NAME_CREATOR);
    m.subject = stringValue(meta.get(), GSF_META_NAME_SUBJECT);
    m.keywords = stringValue(meta.get(), GSF_META_NAME_KEYWORDS);
    m.comment = stringValue(meta.get(), GSF_META_NAME_DESCRIPTION);
    m.editor = stringValue(meta.get(), GSF_META_NAME_LAST_SAVED_BY);
    m.company = stringValue(meta.get(), GSF_META_NAME_COMPANY);
    m.generator = stringValue(meta.get(), GSF_META_NAME_GENERATOR);
    m.creationTime = stringValue(meta.get(), GSF_META_NAME_DATE_CREATED);
    m.modificationTime = stringValue(meta.get(), GSF_META_NAME_DATE_MODIFIED);
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
