#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace testo {

// How a text file is encoded, as its first bytes tell.
//  - Byte: no mark. The bytes pass through as they are, whatever they are.
//  - Utf8: a UTF-8 byte-order mark, which is not part of the first item.
//  - Utf16LE, Utf16BE: a UTF-16 byte-order mark (FF FE or FE FF) and an
//    even number of bytes. The text is decoded, processed as UTF-8 (whose
//    byte order is code-point order) and encoded back.
// The copy is written in the source's encoding, with the same mark.
enum class Codifica { Byte, Utf8, Utf16LE, Utf16BE };

// Whether the text is decoded from UTF-16 (and encoded back).
constexpr bool inUtf16(Codifica codifica) noexcept
{
    return codifica == Codifica::Utf16LE || codifica == Codifica::Utf16BE;
}

// The encoding of `testo` and the length of its mark.
struct Riconosciuta {
    Codifica codifica;
    std::size_t marca;
};
// `inizio` is the text's first bytes (three are enough), `lunghezza` the
// length of the whole text.
Riconosciuta riconosci(std::string_view inizio, std::uint64_t lunghezza) noexcept;

// The byte-order mark of an encoding ("" for Byte).
std::string_view marca(Codifica codifica) noexcept;

// UTF-16 (without its mark) to UTF-8. A surrogate that is not part of a pair
// is kept as the three-byte sequence of its code unit, so that encoding back
// gives the very same UTF-16: nothing is lost, even in a damaged file.
std::string daUtf16(std::string_view byte, bool bigEndian);

// Appends the UTF-8 form of the code point `cp` to `s`; a surrogate as the
// three bytes of its code unit.
void aggiungiUtf8(std::string& s, std::uint32_t cp);

// Appends `coda` to `testo`, both UTF-8 as daUtf16 makes it. When `testo`
// ends with the first half of a surrogate pair and `coda` starts with the
// second, the two halves become the whole character, as daUtf16 would have
// decoded them side by side.
void accodaUtf16(std::string& testo, std::string_view coda);

// Appends the UTF-16 form of `testo` (UTF-8 as daUtf16 makes it) to `uscita`
// and returns how many bytes it wrote; `uscita` needs room for twice the
// length of `testo`. A byte that starts no valid sequence is written as the
// code unit of its value, so no input is ever dropped.
std::size_t aUtf16(std::string_view testo, bool bigEndian, char* uscita) noexcept;

// The length of the valid UTF-8 sequence at the start of `testo`, or 0 when
// none starts there: no overlong forms, no surrogates, nothing past U+10FFFF.
int sequenzaUtf8(std::string_view testo) noexcept;

// Whether all of `testo` is valid UTF-8.
bool utf8Valido(std::string_view testo) noexcept;

// The longest prefix of `testo` of at most `n` bytes that does not cut a
// UTF-8 sequence in two.
std::size_t taglioUtf8(std::string_view testo, std::size_t n) noexcept;

}  // namespace testo
