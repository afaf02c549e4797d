#include "device/libusb_dll.h"

#ifndef _WIN32

std::string charge_libusb() { return {}; }

#else

#include <libusb.h>

#include <cstdarg>

#include "base/plateforme.h"

namespace {

HMODULE dll = nullptr;

// The entry points, looked up once the library is loaded; null when absent
// (the library is missing or too old for that function).
// clang-format off
#define ONDARIS_LIBUSB_FONCTIONS(X)                                                                      \
    X(libusb_init) X(libusb_exit) X(libusb_set_option) X(libusb_error_name) X(libusb_strerror)           \
    X(libusb_get_version) X(libusb_open_device_with_vid_pid) X(libusb_close) X(libusb_claim_interface)   \
    X(libusb_release_interface) X(libusb_clear_halt) X(libusb_reset_device) X(libusb_control_transfer)   \
    X(libusb_alloc_transfer) X(libusb_submit_transfer) X(libusb_cancel_transfer) X(libusb_free_transfer) \
    X(libusb_handle_events) X(libusb_handle_events_completed) X(libusb_handle_events_timeout)            \
    X(libusb_handle_events_timeout_completed)
// clang-format on

struct Fonctions {
#define ONDARIS_POINTEUR(nom) decltype(&::nom) nom = nullptr;
    ONDARIS_LIBUSB_FONCTIONS(ONDARIS_POINTEUR)
#undef ONDARIS_POINTEUR
} f;

template <class F> void cherche(F& pointeur, const char* nom)
{
    pointeur = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, nom)));
}

std::string dossier_du_programme()
{
    wchar_t chemin[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, chemin, MAX_PATH);
    std::wstring w(chemin, n);
    size_t fin = w.find_last_of(L"\\/");
    return large_vers_utf8(fin == std::wstring::npos ? w : w.substr(0, fin + 1));
}

} // namespace

std::string charge_libusb()
{
    if (dll)
        return {};
    dll = LoadLibraryW(L"libusb-1.0.dll");
    if (!dll) {
        DWORD err = GetLastError();
        std::string pourquoi = err == ERROR_BAD_EXE_FORMAT ? " n'est pas une DLL 64 bits" : " est introuvable";
        return "Bibliothèque USB absente : libusb-1.0.dll" + pourquoi + " (cherchée dans " + dossier_du_programme() +
               " et dans le PATH).\r\nCopier la DLL 64 bits de libusb 1.0 à côté du "
               "programme : archive Windows de https://libusb.info (dossier MinGW64\\dll ou VS2022\\MS64\\dll).\r\n";
    }
#define ONDARIS_CHERCHE(nom) cherche(f.nom, #nom);
    ONDARIS_LIBUSB_FONCTIONS(ONDARIS_CHERCHE)
#undef ONDARIS_CHERCHE
    return {};
}

// libusb's functions, forwarded to the DLL. Without it they answer as a
// machine without USB support would.
extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** ctx)
{
    if (!dll)
        charge_libusb();
    return f.libusb_init ? f.libusb_init(ctx) : LIBUSB_ERROR_NOT_SUPPORTED;
}

void LIBUSB_CALL libusb_exit(libusb_context* ctx)
{
    if (f.libusb_exit)
        f.libusb_exit(ctx);
}

int LIBUSB_CALL libusb_set_option(libusb_context* ctx, enum libusb_option option, ...)
{
    if (!f.libusb_set_option)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    // The options the program sets take one int (the log level) or nothing.
    va_list args;
    va_start(args, option);
    int valeur = option == LIBUSB_OPTION_LOG_LEVEL ? va_arg(args, int) : 0;
    va_end(args);
    return option == LIBUSB_OPTION_LOG_LEVEL ? f.libusb_set_option(ctx, option, valeur)
                                             : f.libusb_set_option(ctx, option);
}

const char* LIBUSB_CALL libusb_error_name(int code)
{
    return f.libusb_error_name ? f.libusb_error_name(code) : "LIBUSB_ERROR_NOT_SUPPORTED";
}

const char* LIBUSB_CALL libusb_strerror(int code)
{
    return f.libusb_strerror ? f.libusb_strerror(code) : "libusb-1.0.dll absente";
}

const struct libusb_version* LIBUSB_CALL libusb_get_version(void)
{
    return f.libusb_get_version ? f.libusb_get_version() : nullptr;
}

libusb_device_handle* LIBUSB_CALL libusb_open_device_with_vid_pid(libusb_context* ctx, uint16_t vendor,
                                                                  uint16_t product)
{
    return f.libusb_open_device_with_vid_pid ? f.libusb_open_device_with_vid_pid(ctx, vendor, product) : nullptr;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* h)
{
    if (f.libusb_close)
        f.libusb_close(h);
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* h, int n)
{
    return f.libusb_claim_interface ? f.libusb_claim_interface(h, n) : LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* h, int n)
{
    return f.libusb_release_interface ? f.libusb_release_interface(h, n) : LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_clear_halt(libusb_device_handle* h, unsigned char endpoint)
{
    return f.libusb_clear_halt ? f.libusb_clear_halt(h, endpoint) : LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_reset_device(libusb_device_handle* h)
{
    return f.libusb_reset_device ? f.libusb_reset_device(h) : LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* h, uint8_t type, uint8_t request, uint16_t value,
                                        uint16_t index, unsigned char* data, uint16_t length, unsigned int timeout)
{
    return f.libusb_control_transfer ? f.libusb_control_transfer(h, type, request, value, index, data, length, timeout)
                                     : LIBUSB_ERROR_NOT_SUPPORTED;
}

struct libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int iso_packets)
{
    return f.libusb_alloc_transfer ? f.libusb_alloc_transfer(iso_packets) : nullptr;
}

int LIBUSB_CALL libusb_submit_transfer(struct libusb_transfer* t)
{
    return f.libusb_submit_transfer ? f.libusb_submit_transfer(t) : LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_cancel_transfer(struct libusb_transfer* t)
{
    return f.libusb_cancel_transfer ? f.libusb_cancel_transfer(t) : LIBUSB_ERROR_NOT_SUPPORTED;
}

void LIBUSB_CALL libusb_free_transfer(struct libusb_transfer* t)
{
    if (f.libusb_free_transfer)
        f.libusb_free_transfer(t);
}

int LIBUSB_CALL libusb_handle_events(libusb_context* ctx)
{
    return f.libusb_handle_events ? f.libusb_handle_events(ctx) : LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_handle_events_completed(libusb_context* ctx, int* completed)
{
    return f.libusb_handle_events_completed ? f.libusb_handle_events_completed(ctx, completed)
                                            : LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_handle_events_timeout(libusb_context* ctx, struct timeval* tv)
{
    return f.libusb_handle_events_timeout ? f.libusb_handle_events_timeout(ctx, tv) : LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv, int* completed)
{
    return f.libusb_handle_events_timeout_completed ? f.libusb_handle_events_timeout_completed(ctx, tv, completed)
                                                    : LIBUSB_ERROR_NOT_SUPPORTED;
}

} // extern "C"

#endif
