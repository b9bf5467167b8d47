// The CUPS calls of the printing window, loaded on their first use.
//
// Linking libcups would load it, GnuTLS and p11-kit into every program that
// merely contains the main window, from the start to the end of the process
// (p11-kit's destructor then runs at exit, taking glibc's locale lock). The
// functions below keep CUPS's own names and prototypes, so the printing code
// calls CUPS as usual; the library comes in when something prints or asks
// about printers (Qt's print support loads it then as well). Without CUPS
// there are no printers.
#include <cups/cups.h>

#include <dlfcn.h>
#include <initializer_list>

namespace {

void* cupsLibrary() {
    static void* const handle = [] {
        for (const char* name : {"libcups.so.2", "libcups.so"}) {
            if (void* h = dlopen(name, RTLD_NOW | RTLD_LOCAL))
                return h;
        }
        return static_cast<void*>(nullptr);
    }();
    return handle;
}

template <class Function> Function* resolve(const char* name) {
    void* library = cupsLibrary();
    return library ? reinterpret_cast<Function*>(dlsym(library, name)) : nullptr;
}

} // namespace

// The library's function, or the answer "nothing there" when it is missing.
#define LUMENTA_CUPS_CALL(name, missing, ...)                                                      \
    static auto* const real = resolve<decltype(::name)>(#name);                                    \
    if (!real)                                                                                     \
        return missing;                                                                            \
    return real(__VA_ARGS__)

extern "C" {

int cupsGetDests2(http_t* http, cups_dest_t** dests) {
    if (dests)
        *dests = nullptr;
    LUMENTA_CUPS_CALL(cupsGetDests2, 0, http, dests);
}

int cupsSetDests2(http_t* http, int num_dests, cups_dest_t* dests) {
    LUMENTA_CUPS_CALL(cupsSetDests2, -1, http, num_dests, dests);
}

void cupsFreeDests(int num_dests, cups_dest_t* dests) {
    LUMENTA_CUPS_CALL(cupsFreeDests, void(), num_dests, dests);
}

cups_dest_t* cupsGetDest(const char* name, const char* instance, int num_dests,
                         cups_dest_t* dests) {
    LUMENTA_CUPS_CALL(cupsGetDest, nullptr, name, instance, num_dests, dests);
}

cups_dest_t* cupsGetNamedDest(http_t* http, const char* name, const char* instance) {
    LUMENTA_CUPS_CALL(cupsGetNamedDest, nullptr, http, name, instance);
}

int cupsCopyDest(cups_dest_t* dest, int num_dests, cups_dest_t** dests) {
    LUMENTA_CUPS_CALL(cupsCopyDest, num_dests, dest, num_dests, dests);
}

int cupsAddOption(const char* name, const char* value, int num_options, cups_option_t** options) {
    LUMENTA_CUPS_CALL(cupsAddOption, num_options, name, value, num_options, options);
}

int cupsRemoveOption(const char* name, int num_options, cups_option_t** options) {
    LUMENTA_CUPS_CALL(cupsRemoveOption, num_options, name, num_options, options);
}

const char* cupsGetOption(const char* name, int num_options, cups_option_t* options) {
    LUMENTA_CUPS_CALL(cupsGetOption, nullptr, name, num_options, options);
}

void cupsFreeOptions(int num_options, cups_option_t* options) {
    LUMENTA_CUPS_CALL(cupsFreeOptions, void(), num_options, options);
}

ipp_status_t cupsLastError(void) {
    LUMENTA_CUPS_CALL(cupsLastError, IPP_STATUS_ERROR_SERVICE_UNAVAILABLE);
}

const char* cupsLastErrorString(void) {
    LUMENTA_CUPS_CALL(cupsLastErrorString, "CUPS is not installed");
}

} // extern "C"
