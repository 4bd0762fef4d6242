#include "sistema/Percorsi.h"

#include "testo/Codifica.h"

#include <unicode/ucasemap.h>

#include <memory>
#include <new>
#include <string>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sistema {

namespace {

struct ChiudiCartella {
    void operator()(DIR* d) const noexcept { ::closedir(d); }
};

struct ChiudiMappa {
    void operator()(UCaseMap* m) const noexcept { ucasemap_close(m); }
};

bool cartellaPresente(const std::string& percorso)
{
    struct stat st {};
    return ::stat(percorso.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

VociCartella leggiCartella(const std::filesystem::path& cartella, const std::atomic<bool>* annulla)
{
    VociCartella voci;
    const std::unique_ptr<DIR, ChiudiCartella> d(::opendir(cartella.c_str()));
    if (!d)
        throw ErroreRuntime::daErrno(errno, cartella);
    for (;;) {
        if (annulla != nullptr && annulla->load(std::memory_order_relaxed))
            return voci;
        errno = 0;
        const dirent* voce = ::readdir(d.get());
        if (voce == nullptr) {
            if (errno != 0)
                throw ErroreRuntime::daErrno(errno, cartella);
            return voci;
        }
        if (voce->d_name[0] == '.')  // hidden, and "." and ".."
            continue;
        // Through symbolic links: what the name leads to is what counts.
        struct stat st {};
        if (::fstatat(::dirfd(d.get()), voce->d_name, &st, 0) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            voci.cartelle.emplace_back(voce->d_name);
        else if (S_ISREG(st.st_mode))
            voci.file.emplace_back(voce->d_name);
    }
}

std::optional<CodiceErrore> erroreCartella(const std::filesystem::path& cartella)
{
    if (!cartellaPresente(cartella.native()))
        return CodiceErrore::PercorsoNonTrovato;
    if (::access(cartella.c_str(), R_OK | X_OK) != 0)
        return CodiceErrore::AutorizzazioneNegata;
    return std::nullopt;
}

std::filesystem::path cartellaEsistente(const std::filesystem::path& cartella)
{
    std::string c = cartella.native();
    while (!c.empty()) {
        if (cartellaPresente(c))
            return c;
        while (c.size() > 1 && c.back() == '/')
            c.pop_back();
        const std::size_t taglio = c.rfind('/');
        if (taglio == std::string::npos || c == "/")
            break;
        c.resize(taglio == 0 ? 1 : taglio);
    }
    return cartella;
}

std::filesystem::path maiuscolo(const std::filesystem::path& nome)
{
    std::string byte = nome.native();
    if (!testo::utf8Valido(byte)) {
        for (char& c : byte)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return byte;
    }
    // The root locale: the same letters for every user.
    UErrorCode esito = U_ZERO_ERROR;
    const std::unique_ptr<UCaseMap, ChiudiMappa> mappa(ucasemap_open("root", 0, &esito));
    // Full case mapping may lengthen the text: asked again at the length
    // it needs when the first guess is short.
    std::string maiuscole(byte.size() + 16, '\0');
    for (int volta = 0; volta < 2 && U_SUCCESS(esito); ++volta) {
        esito = U_ZERO_ERROR;
        const int32_t n = ucasemap_utf8ToUpper(mappa.get(), maiuscole.data(), static_cast<int32_t>(maiuscole.size()),
                                               byte.data(), static_cast<int32_t>(byte.size()), &esito);
        if (esito == U_BUFFER_OVERFLOW_ERROR) {
            maiuscole.resize(static_cast<std::size_t>(n));
            esito = U_ZERO_ERROR;
            continue;
        }
        if (U_SUCCESS(esito)) {
            maiuscole.resize(static_cast<std::size_t>(n));
            return maiuscole;
        }
    }
    throw std::bad_alloc();
}

}  // namespace sistema
