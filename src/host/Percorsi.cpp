#include "host/Percorsi.h"

#include "host/testo/Codifica.h"

#include <QDir>

#include <algorithm>
#include <memory>
#include <string>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

constexpr char16_t primoGrezzo = 0xDC80;  // stands for the byte 0x80
constexpr char16_t ultimoGrezzo = 0xDCFF;  // stands for the byte 0xFF

// The length of the valid UTF-8 sequence that starts at p (n bytes left),
// or 0 when none does: no overlong forms, no surrogates, nothing past
// U+10FFFF.
int lunghezzaValida(const unsigned char* p, std::size_t n) noexcept
{
    const unsigned char c = p[0];
    const int lunghezza = c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
    if (lunghezza == 0)
        return 0;
    // The bounds of the second byte, narrower after the four lead bytes whose
    // full range would reach overlong forms, surrogates or past U+10FFFF.
    unsigned char minimo = 0x80, massimo = 0xBF;
    switch (c) {
    case 0xE0: minimo = 0xA0; break;   // overlong
    case 0xED: massimo = 0x9F; break;  // surrogates
    case 0xF0: minimo = 0x90; break;   // overlong
    case 0xF4: massimo = 0x8F; break;  // past U+10FFFF
    default: break;
    }
    if (n < static_cast<std::size_t>(lunghezza) || p[1] < minimo || p[1] > massimo)
        return 0;
    for (int k = 2; k < lunghezza; ++k)
        if ((p[k] & 0xC0) != 0x80)
            return 0;
    return lunghezza;
}

bool grezzo(char16_t u) noexcept
{
    return u >= primoGrezzo && u <= ultimoGrezzo;
}

// Calls f(i, grezzo) for each unit of s that is not part of a surrogate pair.
template <class F>
void perUnita(const QString& s, F&& f)
{
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = s.at(i);
        if (c.isHighSurrogate() && i + 1 < n && s.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        f(i, grezzo(c.unicode()));
    }
}

struct ChiudiCartella {
    void operator()(DIR* d) const noexcept { ::closedir(d); }
};

}  // namespace

QString unisciPercorso(const QString& cartella, const QString& nome)
{
    if (cartella.endsWith(QDir::separator()))
        return cartella + nome;
    return cartella + QDir::separator() + nome;
}

QString percorsoDaByte(const QByteArray& byte)
{
    const auto* p = reinterpret_cast<const unsigned char*>(byte.constData());
    const auto n = static_cast<std::size_t>(byte.size());
    QString s;
    s.reserve(byte.size());
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            s += QChar(c);
            ++i;
            continue;
        }
        const int lunghezza = lunghezzaValida(p + i, n - i);
        if (lunghezza == 0) {
            s += QChar(char16_t(0xDC00 + c));
            ++i;
            continue;
        }
        char32_t cp = c & (0xFF >> (lunghezza + 1));
        for (int k = 1; k < lunghezza; ++k)
            cp = cp << 6 | (p[i + k] & 0x3F);
        s += QString::fromUcs4(&cp, 1);
        i += lunghezza;
    }
    return s;
}

QByteArray byteDiPercorso(const QString& percorso)
{
    std::string byte;
    byte.reserve(static_cast<std::size_t>(percorso.size()) * 3);
    const qsizetype n = percorso.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = percorso.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && percorso.at(i + 1).isLowSurrogate())
            aggiungiUtf8(byte, QChar::surrogateToUcs4(u, percorso.at(++i).unicode()));
        else if (grezzo(u))
            byte += static_cast<char>(u - 0xDC00);
        else
            aggiungiUtf8(byte, u);  // a stray surrogate too: it cannot come from a name
    }
    return QByteArray::fromStdString(byte);
}

bool haByteGrezzi(const QString& percorso)
{
    bool trovato = false;
    perUnita(percorso, [&](qsizetype, bool g) { trovato = trovato || g; });
    return trovato;
}

QString testoVisibile(const QString& percorso)
{
    QString s = percorso;
    perUnita(percorso, [&](qsizetype i, bool g) {
        if (g)
            s[i] = QChar::ReplacementCharacter;
    });
    return s;
}

QStringList elencaCartella(const QString& cartella, TipoVoce tipo)
{
    QStringList nomi;
    const std::unique_ptr<DIR, ChiudiCartella> d(::opendir(byteDiPercorso(cartella).constData()));
    if (!d)
        return nomi;
    while (const dirent* voce = ::readdir(d.get())) {
        if (voce->d_name[0] == '.')  // hidden, and "." and ".."
            continue;
        // Through symbolic links: what the name leads to is what counts.
        struct stat st {};
        if (::fstatat(::dirfd(d.get()), voce->d_name, &st, 0) != 0)
            continue;
        if (tipo == TipoVoce::Cartella ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode))
            nomi << percorsoDaByte(QByteArray(voce->d_name));
    }
    std::sort(nomi.begin(), nomi.end(), [](const QString& a, const QString& b) {
        const int c = testoVisibile(a).compare(testoVisibile(b), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return nomi;
}

std::optional<CodiceErrore> erroreCartella(const QString& cartella)
{
    const QByteArray byte = byteDiPercorso(cartella);
    struct stat st {};
    if (::stat(byte.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return CodiceErrore::PercorsoNonTrovato;
    if (::access(byte.constData(), R_OK | X_OK) != 0)
        return CodiceErrore::AutorizzazioneNegata;
    return std::nullopt;
}

QString cartellaEsistente(const QString& cartella)
{
    QString c = cartella;
    while (!c.isEmpty()) {
        struct stat st {};
        if (::stat(byteDiPercorso(c).constData(), &st) == 0 && S_ISDIR(st.st_mode))
            return c;
        while (c.size() > 1 && c.endsWith(QLatin1Char('/')))
            c.chop(1);
        const qsizetype taglio = c.lastIndexOf(QLatin1Char('/'));
        if (taglio < 0 || c == QLatin1String("/"))
            break;
        c.truncate(taglio == 0 ? 1 : taglio);
    }
    return cartella;
}

}  // namespace host
