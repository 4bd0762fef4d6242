#include "testo/Codifica.h"

#include <cstdint>

namespace testo {

namespace {

constexpr std::string_view marcaUtf8 = "\xEF\xBB\xBF";
constexpr std::string_view marcaUtf16LE = "\xFF\xFE";
constexpr std::string_view marcaUtf16BE = "\xFE\xFF";

std::size_t unita(char* uscita, std::uint32_t u, bool bigEndian) noexcept
{
    const auto alto = static_cast<char>(u >> 8);
    const auto basso = static_cast<char>(u & 0xFF);
    uscita[0] = bigEndian ? alto : basso;
    uscita[1] = bigEndian ? basso : alto;
    return 2;
}

bool continua(unsigned char c) noexcept
{
    return (c & 0xC0) == 0x80;
}

}  // namespace

void aggiungiUtf8(std::string& s, std::uint32_t cp)
{
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

Riconosciuta riconosci(std::string_view inizio, std::uint64_t lunghezza) noexcept
{
    if (inizio.starts_with(marcaUtf8))
        return {Codifica::Utf8, marcaUtf8.size()};
    if (lunghezza % 2 == 0) {
        if (inizio.starts_with(marcaUtf16LE))
            return {Codifica::Utf16LE, marcaUtf16LE.size()};
        if (inizio.starts_with(marcaUtf16BE))
            return {Codifica::Utf16BE, marcaUtf16BE.size()};
    }
    // An odd length is no UTF-16: its bytes pass through untouched.
    return {Codifica::Byte, 0};
}

std::string_view marca(Codifica codifica) noexcept
{
    switch (codifica) {
    case Codifica::Utf8: return marcaUtf8;
    case Codifica::Utf16LE: return marcaUtf16LE;
    case Codifica::Utf16BE: return marcaUtf16BE;
    case Codifica::Byte: break;
    }
    return {};
}

std::string daUtf16(std::string_view byte, bool bigEndian)
{
    const auto* p = reinterpret_cast<const unsigned char*>(byte.data());
    const std::size_t n = byte.size() / 2;
    const auto unitaIn = [&](std::size_t i) -> std::uint32_t {
        return bigEndian ? (p[2 * i] << 8 | p[2 * i + 1]) : (p[2 * i + 1] << 8 | p[2 * i]);
    };
    std::string s;
    s.reserve(byte.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t u = unitaIn(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < n) {
            const std::uint32_t v = unitaIn(i + 1);
            if (v >= 0xDC00 && v < 0xE000) {
                aggiungiUtf8(s, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                ++i;
                continue;
            }
        }
        aggiungiUtf8(s, u);  // unpaired surrogates too, as their code unit
    }
    return s;
}

void accodaUtf16(std::string& testo, std::string_view coda)
{
    // A surrogate kept on its own is ED A0..AF xx (first half) or
    // ED B0..BF xx (second half); its value is 0xD000 | the low 11 bits.
    const auto meta = [](std::string_view s) -> std::uint32_t {
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        if (s.size() < 3 || p[0] != 0xED || !continua(p[1]) || p[1] < 0xA0 || !continua(p[2]))
            return 0;
        return 0xD000u | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
    };
    const std::uint32_t alta = testo.size() >= 3 ? meta(std::string_view(testo).substr(testo.size() - 3)) : 0;
    const std::uint32_t bassa = meta(coda);
    if (alta >= 0xD800 && alta < 0xDC00 && bassa >= 0xDC00) {
        testo.resize(testo.size() - 3);
        aggiungiUtf8(testo, 0x10000 + ((alta - 0xD800) << 10) + (bassa - 0xDC00));
        coda.remove_prefix(3);
    }
    testo.append(coda);
}

std::size_t aUtf16(std::string_view testo, bool bigEndian, char* uscita) noexcept
{
    const auto* p = reinterpret_cast<const unsigned char*>(testo.data());
    const std::size_t n = testo.size();
    std::size_t scritti = 0;
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        std::uint32_t cp = c;
        std::size_t lunghezza = 1;
        if (c >= 0xF0 && c < 0xF8 && i + 3 < n && continua(p[i + 1]) && continua(p[i + 2]) && continua(p[i + 3])) {
            cp = (c & 0x07u) << 18 | (p[i + 1] & 0x3Fu) << 12 | (p[i + 2] & 0x3Fu) << 6 | (p[i + 3] & 0x3Fu);
            lunghezza = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) {  // no such character: the byte alone
                cp = c;
                lunghezza = 1;
            }
        } else if (c >= 0xE0 && c < 0xF0 && i + 2 < n && continua(p[i + 1]) && continua(p[i + 2])) {
            cp = (c & 0x0Fu) << 12 | (p[i + 1] & 0x3Fu) << 6 | (p[i + 2] & 0x3Fu);
            lunghezza = 3;
        } else if (c >= 0xC0 && c < 0xE0 && i + 1 < n && continua(p[i + 1])) {
            cp = (c & 0x1Fu) << 6 | (p[i + 1] & 0x3Fu);
            lunghezza = 2;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            scritti += unita(uscita + scritti, 0xD800 + (cp >> 10), bigEndian);
            scritti += unita(uscita + scritti, 0xDC00 + (cp & 0x3FF), bigEndian);
        } else {
            scritti += unita(uscita + scritti, cp, bigEndian);
        }
        i += lunghezza;
    }
    return scritti;
}

std::size_t taglioUtf8(std::string_view testo, std::size_t n) noexcept
{
    if (n >= testo.size())
        return testo.size();
    // Back up over continuation bytes to the start of the cut sequence.
    std::size_t t = n;
    while (t > 0 && n - t < 3 && continua(static_cast<unsigned char>(testo[t])))
        --t;
    return t > 0 ? t : n;
}

int sequenzaUtf8(std::string_view testo) noexcept
{
    if (testo.empty())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(testo.data());
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
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
    if (testo.size() < static_cast<std::size_t>(lunghezza) || p[1] < minimo || p[1] > massimo)
        return 0;
    for (int k = 2; k < lunghezza; ++k)
        if ((p[k] & 0xC0) != 0x80)
            return 0;
    return lunghezza;
}

bool utf8Valido(std::string_view testo) noexcept
{
    while (!testo.empty()) {
        const int n = sequenzaUtf8(testo);
        if (n == 0)
            return false;
        testo.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace testo
