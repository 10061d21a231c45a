#include "OfficeError.h"
#include "XlsxWriterLib.h"

#include <dlfcn.h>

namespace {

template <typename F> void Resolve(void* handle, F& fn, const char* name, bool& ok) {
    fn = reinterpret_cast<F>(dlsym(handle, name));
    ok = ok && fn != nullptr;
}

} // namespace

const TXlsxWriterLib& XlsxWriterLib() {
    static TXlsxWriterLib lib{};
    static const bool loaded = [] {
        // Its own dependencies (minizip) first, ahead of QuaZip's exported copy.
        void* h = dlopen("libxlsxwriter.so." LXW_SOVERSION, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
        if (!h) return false;
        bool ok = true;
#define ZN_RESOLVE(name) Resolve(h, lib.name, #name, ok)
        ZN_RESOLVE(workbook_new_opt);
        ZN_RESOLVE(workbook_set_properties);
        ZN_RESOLVE(workbook_add_worksheet);
        ZN_RESOLVE(workbook_add_format);
        ZN_RESOLVE(workbook_close);
        ZN_RESOLVE(format_set_bold);
        ZN_RESOLVE(format_set_border);
        ZN_RESOLVE(format_set_num_format);
        ZN_RESOLVE(worksheet_set_landscape);
        ZN_RESOLVE(worksheet_set_portrait);
        ZN_RESOLVE(worksheet_set_column);
        ZN_RESOLVE(worksheet_set_row);
        ZN_RESOLVE(worksheet_write_blank);
        ZN_RESOLVE(worksheet_write_number);
        ZN_RESOLVE(worksheet_write_boolean);
        ZN_RESOLVE(worksheet_write_string);
        ZN_RESOLVE(lxw_strerror);
#undef ZN_RESOLVE
        return ok;
    }();
    if (!loaded)
        throw EOfficeError(QStringLiteral("Die Bibliothek libxlsxwriter ist nicht installiert."));
    return lib;
}
