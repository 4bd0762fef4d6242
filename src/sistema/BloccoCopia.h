#pragma once

// The copy's bytes gathered into blocks, encoded as the copy is, and handed
// to the file a block at a time, the same on every system: the writer of
// each system supplies only `emetti`, which puts bytes in its file.
#include "testo/Codifica.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace sistema {

class BloccoCopia {
public:
    static constexpr std::size_t capacita = std::size_t{1} << 20;

    explicit BloccoCopia(testo::Codifica codifica);
    virtual ~BloccoCopia() = default;
    BloccoCopia(const BloccoCopia&) = delete;
    BloccoCopia& operator=(const BloccoCopia&) = delete;

    // Text of the copy (UTF-8 or bytes), written in the copy's encoding.
    void scriviTesto(std::string_view testo);

protected:
    void scrivi(std::string_view byte);  // bytes as they are
    void svuota();                       // what the block holds, to the file
    virtual void emetti(const char* dati, std::size_t n) = 0;  // straight to the file

private:
    std::size_t spazio() const noexcept { return capacita - usati_; }

    std::unique_ptr<char[]> buffer_;  // the block being assembled
    std::size_t usati_ = 0;
    bool utf16_;
    bool bigEndian_;
};

}  // namespace sistema
