#pragma once

#include "host/CampiTesto.h"
#include "host/Codifica.h"

#include <QString>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace host {

// Sequential input of a text file's items: the file is opened, read whole
// into memory and closed by the constructor, so it is open only for that
// moment. Items are then read one by one with fine() and leggiVoce(); each
// is a view that stays valid while the reader lives.
//
// Only regular files are read: a folder, a FIFO or a device raises a
// run-time error instead of blocking or reading forever.
//
// The file's encoding comes from its first bytes (see Codifica): a
// byte-order mark is not part of the first item, and UTF-16 is decoded, so
// the items are always bytes of the file or UTF-8. codifica() tells how to
// write them back.
class LettoreVoci {
public:
    explicit LettoreVoci(const QString& percorso);

    // A reader of `contenuto` as if it were a file's bytes.
    static LettoreVoci daByte(std::string_view contenuto);

    bool fine() const noexcept { return campi_.fine(); }
    std::string_view leggiVoce() { return campi_.prossimo(); }

    // Splits the items not yet read into up to `quante` parts that can be
    // read at the same time (see CampiTesto::sezioni); the parts live, and
    // their items stay valid, as long as the reader.
    std::vector<CampiTesto>& sezioni(std::size_t quante);

    Codifica codifica() const noexcept { return codifica_; }
    std::size_t byteLetti() const noexcept { return dimensione_; }

private:
    LettoreVoci() = default;
    void prepara(const QString& percorso);  // recognises the encoding of dati_

    std::unique_ptr<char[]> dati_;
    std::size_t dimensione_ = 0;
    Codifica codifica_ = Codifica::Byte;
    std::string decodificato_;  // the text of a UTF-16 file, as UTF-8
    CampiTesto campi_{std::string_view{}};
    std::vector<CampiTesto> sezioni_;
};

}  // namespace host
