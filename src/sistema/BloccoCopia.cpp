#include "BloccoCopia.h"

#include <cstring>

namespace sistema {

BloccoCopia::BloccoCopia(testo::Codifica codifica)
    : buffer_(std::make_unique_for_overwrite<char[]>(capacita)),
      utf16_(testo::inUtf16(codifica)),
      bigEndian_(codifica == testo::Codifica::Utf16BE)
{
}

void BloccoCopia::svuota()
{
    emetti(buffer_.get(), usati_);
    usati_ = 0;
}

void BloccoCopia::scrivi(std::string_view byte)
{
    if (byte.empty())
        return;  // an empty view may have no address at all
    // A large block goes to the file as it is, after what the buffer
    // holds: copying it into the buffer first would only double the work.
    if (byte.size() > spazio() || byte.size() >= capacita / 4)
        svuota();
    if (byte.size() > spazio() || byte.size() >= capacita / 4) {
        emetti(byte.data(), byte.size());
        return;
    }
    std::memcpy(buffer_.get() + usati_, byte.data(), byte.size());
    usati_ += byte.size();
}

void BloccoCopia::scriviTesto(std::string_view testo)
{
    if (!utf16_) {
        scrivi(testo);
        return;
    }
    // UTF-16 takes at most two bytes per byte of UTF-8: encode in pieces
    // that fit the block, never cutting a character in two.
    while (!testo.empty()) {
        if (spazio() < 8)
            svuota();
        const std::size_t pezzo = testo::taglioUtf8(testo, spazio() / 2);
        usati_ += testo::aUtf16(testo.substr(0, pezzo), bigEndian_, buffer_.get() + usati_);
        testo.remove_prefix(pezzo);
    }
}

}  // namespace sistema
