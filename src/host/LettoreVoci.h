#pragma once

#include "host/CampiTesto.h"

#include <QString>

#include <cstddef>
#include <memory>
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
// A UTF-8 byte-order mark at the very start is not part of the first item;
// haBom() tells whether the file had one, so the output can keep it.
class LettoreVoci {
public:
    explicit LettoreVoci(const QString& percorso);

    bool fine() const noexcept { return campi_.fine(); }
    std::string_view leggiVoce() { return campi_.prossimo(); }

    // Splits the items not yet read into up to `quante` parts that can be
    // read at the same time (see CampiTesto::sezioni); the parts live, and
    // their items stay valid, as long as the reader.
    std::vector<CampiTesto>& sezioni(std::size_t quante);

    bool haBom() const noexcept { return bom_; }
    std::size_t byteLetti() const noexcept { return dimensione_; }

private:
    std::unique_ptr<char[]> dati_;
    std::size_t dimensione_ = 0;
    bool bom_ = false;
    CampiTesto campi_{std::string_view{}};
    std::vector<CampiTesto> sezioni_;
};

// The UTF-8 byte-order mark.
inline constexpr std::string_view bomUtf8 = "\xEF\xBB\xBF";

}  // namespace host
