#include "qt/PercorsiQt.h"

#include "testo/Codifica.h"

#include <QDir>

#include <algorithm>
#include <string>
#include <string_view>

namespace qt {

namespace {

constexpr char16_t primoGrezzo = 0xDC80;  // stands for the byte 0x80
constexpr char16_t ultimoGrezzo = 0xDCFF;  // stands for the byte 0xFF

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

QString daByte(std::string_view byte)
{
    const auto* p = reinterpret_cast<const unsigned char*>(byte.data());
    const std::size_t n = byte.size();
    QString s;
    s.reserve(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        const int lunghezza = testo::sequenzaUtf8(byte.substr(i));
        if (lunghezza == 0) {
            s += QChar(char16_t(0xDC00 + c));
            ++i;
            continue;
        }
        if (lunghezza == 1) {
            s += QChar(c);
            ++i;
            continue;
        }
        char32_t cp = c & (0xFF >> (lunghezza + 1));
        for (int k = 1; k < lunghezza; ++k)
            cp = cp << 6 | (p[i + k] & 0x3F);
        s += QString::fromUcs4(&cp, 1);
        i += static_cast<std::size_t>(lunghezza);
    }
    return s;
}

std::string aByte(const QString& percorso)
{
    std::string byte;
    byte.reserve(static_cast<std::size_t>(percorso.size()) * 3);
    const qsizetype n = percorso.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = percorso.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && percorso.at(i + 1).isLowSurrogate())
            testo::aggiungiUtf8(byte, QChar::surrogateToUcs4(u, percorso.at(++i).unicode()));
        else if (grezzo(u))
            byte += static_cast<char>(u - 0xDC00);
        else
            testo::aggiungiUtf8(byte, u);  // a stray surrogate too: it cannot come from a name
    }
    return byte;
}

}  // namespace

QString percorsoDaByte(const QByteArray& byte)
{
    return daByte(std::string_view(byte.constData(), static_cast<std::size_t>(byte.size())));
}

QByteArray byteDiPercorso(const QString& percorso)
{
    return QByteArray::fromStdString(aByte(percorso));
}

QString testoDiPercorso(const std::filesystem::path& percorso)
{
    return daByte(percorso.native());
}

std::filesystem::path percorsoDiTesto(const QString& testo)
{
    return aByte(testo);
}

QString unisciPercorso(const QString& cartella, const QString& nome)
{
    if (cartella.endsWith(QDir::separator()))
        return cartella + nome;
    return cartella + QDir::separator() + nome;
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

}  // namespace qt
