#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace testo {

// Splits text into fields, the way the program reads its items.
//
// A field ends at a comma or at the end of a line; CR LF, LF and a lone CR
// each end one line. An empty field (a blank line, or nothing between two
// commas) comes back as "". Bytes pass through unchanged: any encoding,
// invalid sequences and NUL bytes alike.
//
// Double quotation marks:
//  - A field whose first byte other than spaces is '"' is quoted. The spaces
//    before the opening mark are not part of the value, nor are the marks.
//    Inside the marks a comma is an ordinary character.
//  - Text between the closing mark and the next delimiter is kept, appended
//    to the quoted part: '"1,2" x' gives '1,2 x'. A '"' there, or anywhere
//    else than at the start of a field, is an ordinary character.
//  - A line end always ends a field, even inside quotes. A quote that is
//    not closed before the end of its line is no quote at all: the field is
//    read as if unquoted, its '"' and its commas included, so an unbalanced
//    mark can never swallow the rest of the file or lose a byte of it.
//
// The scanner never copies the text; a field is a view into it, except the
// rare quoted field with text after its closing mark, which is assembled in
// storage the scanner owns. Views stay valid as long as the text and the
// scanner live.
//
// For text decoded from UTF-16 (`utf16`), where a half of a surrogate pair
// without its other half is kept as its own three bytes (see daUtf16), the
// halves that meet inside a field once the quotes are gone,
// '"\ud800"\udc00', make the field hold the whole character, the very same
// bytes as U+10000 read whole.
class CampiTesto {
public:
    // The reading rules' bytes. The scanner, its vector path, sezioni() and
    // taglio() all derive what they look for from these and nothing else.
    static constexpr char virgola = ',';      // ends a field
    static constexpr char ritorno = '\r';     // ends a line, alone or before aCapo
    static constexpr char aCapo = '\n';       // ends a line
    static constexpr char virgolette = '"';   // quotes a field that starts with it
    static constexpr char spazio = ' ';       // skipped before a quote, trimmed off items

    explicit CampiTesto(std::string_view testo, bool utf16 = false) noexcept : testo_(testo), utf16_(utf16) {}

    // True once every field has been read. A last line end, or a last comma,
    // is not followed by a further empty field.
    bool fine() const noexcept { return pos_ >= testo_.size(); }

    // The next field. Must not be called once fine() is true.
    std::string_view prossimo();

    // Splits what is left to read into up to `quante` consecutive parts of
    // about equal size, cut at line ends, so that the fields of the parts,
    // read one part after the other, are exactly the fields read here.
    // The parts can be read at the same time, by different threads.
    std::vector<CampiTesto> sezioni(std::size_t quante) const;

    // How much of `testo`, the start of a longer text, can be read on its
    // own: the longest prefix that ends where the whole text also ends a
    // field, whatever follows. That is up to the last line end; in a text
    // without one, up to the last comma that surely ends a field (not one
    // after a quote whose closing mark may still come). 0 when there is none.
    // The first `senzaRighe` bytes are known to hold no line end.
    static std::size_t taglio(std::string_view testo, std::size_t senzaRighe = 0) noexcept;

    // A field as an item: without its leading and trailing spaces (the space
    // character only, not tabs).
    static constexpr std::string_view senzaSpazi(std::string_view s) noexcept
    {
        const auto primo = s.find_first_not_of(spazio);
        if (primo == std::string_view::npos)
            return s.substr(s.size());
        return s.substr(primo, s.find_last_not_of(spazio) - primo + 1);
    }

private:
    // Where the field that starts at `inizio` lies.
    struct Campo {
        std::size_t delimitatore;  // its comma or line end, or the end of the text
        std::size_t apertura;      // its opening mark, when quoted
        std::size_t chiusura;      // its closing mark, when quoted
        bool citato;               // quoted, and closed on its line
        bool sospeso;              // a quote still open where the text ends
    };
    Campo campo(std::size_t inizio) const noexcept;

    std::size_t fineCampo(std::size_t da) const noexcept;      // first delimiter at or after `da`
    std::size_t fineCitazione(std::size_t da) const noexcept;  // first quote or line end at or after `da`
    std::size_t dopoDelimitatore(std::size_t d) const noexcept;  // past the delimiter at `d`, CR LF as one

    std::string_view testo_;
    std::size_t pos_ = 0;
    bool utf16_ = false;
    std::deque<std::string> composti_;
};

}  // namespace testo
