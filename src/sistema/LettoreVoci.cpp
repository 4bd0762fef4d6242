#include "sistema/LettoreVoci.h"

#include "Interno.h"

#include "testo/CampiTesto.h"
#include "sistema/ErroreRuntime.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace sistema {

namespace {

bool altaSurrogata(char a, char b, bool bigEndian)
{
    const auto alto = static_cast<unsigned char>(bigEndian ? a : b);
    return (alto & 0xFC) == 0xD8;
}

}  // namespace

// The reader, the same on every system: the file is opened, read and (on
// Linux) mapped by the system's interno::FileInLettura; the byte-order
// mark, the buffers, the cuts at field ends, the spaces of long fields and
// UTF-16 are handled here.
class LettoreVoci::Impl {
public:
    explicit Impl(const std::filesystem::path& percorso);
    explicit Impl(DaByte byte) : memoria_(byte.contenuto), dichiarata_(byte.contenuto.size()) { apri(); }
    ~Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    testo::Codifica codifica() const noexcept { return codifica_; }
    std::uint64_t dimensioneDichiarata() const noexcept { return dichiarata_; }
    std::string_view prossimoPezzo(std::size_t quanto, std::size_t massimo, bool* oltre);
    void pezziFiniti() noexcept { finiti_ = true; }
    std::size_t memoriaInUso() const noexcept;
    void verifica();

private:
    // A piece that views the file's mapping, or the bytes of a reader of
    // bytes; "" where the piece must be read into the buffer instead (a
    // field longer than the piece, UTF-16, a file the system does not map,
    // the end).
    std::string_view pezzoDiretto(std::size_t quanto, std::size_t massimo);

    void apri();                                  // reads the mark
    std::size_t leggiGrezzi(char* dove, std::size_t n);  // fewer than n at the end
    void riempi(std::size_t fino);                // text up to `fino` bytes
    void riempiUtf16(std::size_t manca);          // one turn of reading and decoding UTF-16
    void riserva(std::size_t capienza, std::size_t massimo);
    bool compatta();                              // squeezes the spaces of a long field
    bool risolviSpazi(std::size_t massimo);       // the counted spaces, once bytes follow them

    std::filesystem::path percorso_;
    std::unique_ptr<interno::FileInLettura> file_;  // none for a reader of bytes
    std::string_view memoria_;     // the bytes, for a reader of bytes
    std::uint64_t posizione_ = 0;  // raw bytes read so far
    std::uint64_t dichiarata_ = 0;
    bool finito_ = false;          // no more raw bytes
    testo::Codifica codifica_ = testo::Codifica::Byte;

    // The text: bytes, or UTF-8 for UTF-16, in memory the system gives
    // (interno::allargaTesto). Two, used in turn: a piece stays valid while
    // the next one is read.
    struct Mappa {
        char* dati = nullptr;
        std::size_t byte = 0;
        Mappa() = default;
        Mappa(const Mappa&) = delete;
        Mappa& operator=(const Mappa&) = delete;
        ~Mappa() { interno::liberaTesto(dati, byte); }
    };
    Mappa testi_[2];
    Mappa* testo_ = &testi_[0];
    static void liberaGrande(Mappa& mappa, std::size_t serve) noexcept;
    std::size_t presenti_ = 0;       // bytes of text in the buffer
    std::size_t consumati_ = 0;      // of which already handed out
    std::size_t spaziSospesi_ = 0;   // trailing spaces counted, not in the buffer,
    std::size_t posSospesi_ = 0;     // which belong at this offset
    bool finiti_ = false;
    std::string grezzi_;             // UTF-16 bytes not yet decoded
    std::string decodificati_;

    bool troncato_ = false;          // the file shrank under the run
    std::uint64_t visto_ = 0;        // the end of the last piece that viewed the file
};

LettoreVoci::Impl::Impl(const std::filesystem::path& percorso)
    : percorso_(percorso), file_(interno::apriInLettura(percorso))
{
    dichiarata_ = file_->dichiarata();
    apri();
}

void LettoreVoci::Impl::verifica()
{
    if (file_ != nullptr && file_->vistaTroncata())
        troncato_ = true;
    // A file cut within a page loses the rest of that page with no fault:
    // it reads as zeros. Shorter than the pieces that viewed it, the file
    // may have lost bytes under them; shorter than what was read of it
    // into the buffers (as far as it said it was long: a file of /proc
    // says 0), it changed under the run too: an I/O error, not a copy that
    // quietly lacks items.
    const std::uint64_t letti = std::max(visto_, std::min(posizione_, dichiarata_));
    if (letti != 0 && file_ != nullptr) {
        const std::optional<std::uint64_t> ora = file_->dimensioneOra();
        if (ora && *ora < letti)
            troncato_ = true;
    }
    if (troncato_)
        throw ErroreRuntime(CodiceErrore::ErroreIO, percorso_);
}

std::string_view LettoreVoci::Impl::pezzoDiretto(std::size_t quanto, std::size_t massimo)
{
    if (testo::inUtf16(codifica_) || finito_ || spaziSospesi_ != 0)
        return {};
    if (file_ != nullptr && !file_->mappabile())
        return {};
    // Bytes read past the last cut are the file's bytes from `da` on.
    const std::uint64_t da = posizione_ - (presenti_ - consumati_);
    std::uint64_t fine = memoria_.size();
    if (file_ != nullptr) {
        const std::optional<std::uint64_t> ora = file_->dimensioneOra();
        if (!ora)
            return {};
        fine = *ora;
    }
    if (da >= fine)
        return {};
    const std::size_t voglio = std::min(quanto, massimo);
    const bool finale = fine - da <= voglio;
    const std::size_t n = finale ? static_cast<std::size_t>(fine - da) : voglio;
    const char* testo = nullptr;
    if (file_ != nullptr) {
        testo = file_->mappa(da, n);
        if (testo == nullptr)
            return {};
    } else {
        testo = memoria_.data() + da;
    }
    // The rest of the file is a piece as it is; otherwise the piece ends
    // where a field surely ends, and a field longer than the piece is read
    // into the buffer.
    const std::size_t taglio = finale ? n : testo::CampiTesto::taglio({testo, n});
    if (taglio == 0) {
        if (file_ != nullptr)
            file_->togliUltima();
        return {};
    }
    posizione_ = da + taglio;
    presenti_ = 0;
    consumati_ = 0;
    finito_ = finale;
    if (file_ != nullptr) {
        visto_ = posizione_;
        // Reading into the buffer goes on after the piece.
        if (!finale)
            file_->riposiziona(posizione_);
    }
    return {testo, taglio};
}

std::size_t LettoreVoci::Impl::leggiGrezzi(char* dove, std::size_t n)
{
    if (finito_ || n == 0)
        return 0;
    std::size_t letti = 0;
    if (file_ == nullptr) {
        letti = static_cast<std::size_t>(std::min<std::uint64_t>(n, memoria_.size() - posizione_));
        std::memcpy(dove, memoria_.data() + posizione_, letti);
    } else {
        letti = file_->leggi(dove, n);
    }
    posizione_ += letti;
    if (letti < n)
        finito_ = true;
    return letti;
}

void LettoreVoci::Impl::apri()
{
    // The mark: up to three bytes, all there are of a shorter file, so that
    // a short file is recognised exactly as a whole one.
    char inizio[3];
    const std::size_t n = leggiGrezzi(inizio, sizeof inizio);
    // UTF-16 needs an even length: the reported one, the only one known
    // before the end (a reader of bytes knows it exactly).
    const std::string_view visti(inizio, n);
    const testo::Riconosciuta r = testo::riconosci(visti, dichiarata_);
    codifica_ = r.codifica;
    const std::string_view resto = visti.substr(r.marca);
    if (testo::inUtf16(codifica_)) {
        grezzi_.assign(resto);
    } else {
        riserva(4096, 4096);
        std::memcpy(testo_->dati, resto.data(), resto.size());
        presenti_ = resto.size();
    }
}

void LettoreVoci::Impl::riserva(std::size_t capienza, std::size_t massimo)
{
    if (capienza <= testo_->byte)
        return;
    if (capienza > massimo)
        throw ErroreRuntime(CodiceErrore::MemoriaEsaurita, percorso_);
    constexpr std::size_t pagina = 4096;
    const std::size_t intera = (capienza + pagina - 1) / pagina * pagina;
    char* const nuovo = interno::allargaTesto(testo_->dati, testo_->byte, intera);
    if (nuovo == nullptr)
        throw ErroreRuntime(CodiceErrore::MemoriaEsaurita, percorso_);
    testo_->dati = nuovo;
    testo_->byte = intera;
}

void LettoreVoci::Impl::riempi(std::size_t fino)
{
    if (testo::inUtf16(codifica_)) {
        while (presenti_ < fino && !(finito_ && grezzi_.empty()))
            riempiUtf16(fino - presenti_);
        return;
    }
    while (presenti_ < fino && !finito_)
        presenti_ += leggiGrezzi(testo_->dati + presenti_, fino - presenti_);
}

void LettoreVoci::Impl::riempiUtf16(std::size_t manca)
{
    // Two bytes of UTF-16 give at most three of UTF-8; at least one more
    // code unit is read.
    const std::size_t gia = grezzi_.size();
    const std::size_t voglio = std::max<std::size_t>(manca / 3 * 2, gia + 2);
    grezzi_.resize(voglio);
    grezzi_.resize(gia + leggiGrezzi(grezzi_.data() + gia, voglio - gia));
    // What can be decoded now: at the end of the file, everything (an odd
    // last byte means the file changed size while read, and stays a byte);
    // before it, whole code units, without a high surrogate whose pair may
    // still come.
    const bool bigEndian = codifica_ == testo::Codifica::Utf16BE;
    std::size_t pronti = grezzi_.size();
    if (!finito_) {
        pronti &= ~std::size_t{1};
        if (pronti >= 2 && altaSurrogata(grezzi_[pronti - 2], grezzi_[pronti - 1], bigEndian))
            pronti -= 2;
        if (pronti == 0)
            return;
    }
    try {
        decodificati_ = testo::daUtf16(std::string_view(grezzi_).substr(0, pronti & ~std::size_t{1}), bigEndian);
    } catch (const std::bad_alloc&) {
        throw ErroreRuntime(CodiceErrore::MemoriaEsaurita, percorso_);
    }
    if (pronti % 2 != 0)
        decodificati_ += grezzi_[pronti - 1];
    grezzi_.erase(0, pronti);
    if (decodificati_.size() > testo_->byte - presenti_)
        riserva(presenti_ + decodificati_.size(), std::size_t(-1));
    std::memcpy(testo_->dati + presenti_, decodificati_.data(), decodificati_.size());
    presenti_ += decodificati_.size();
}

std::size_t LettoreVoci::Impl::memoriaInUso() const noexcept
{
    return testi_[0].byte + testi_[1].byte + grezzi_.capacity() + decodificati_.capacity();
}

void LettoreVoci::Impl::liberaGrande(Mappa& mappa, std::size_t serve) noexcept
{
    // A buffer that a long field made more than twice as large as what is
    // needed now goes back to the system; it is taken again at the size
    // needed.
    if (mappa.dati != nullptr && mappa.byte > 2 * std::max<std::size_t>(serve, 4096)) {
        interno::liberaTesto(mappa.dati, mappa.byte);
        mappa.dati = nullptr;
        mappa.byte = 0;
    }
}

bool LettoreVoci::Impl::compatta()
{
    // The buffer holds the start of one field (or of a line with a quote
    // left open), with no field end yet. Its leading spaces are never part
    // of an item, nor needed to tell a quote: one stays, so that a field of
    // spaces only stays a field. Its trailing spaces are counted instead,
    // until what follows them says whether they are part of the item; one
    // stays there too, so that whatever field they end up in (a field of
    // spaces after a comma of an open quote's line, `""` and spaces) keeps
    // a byte and stays an item.
    char* d = testo_->dati;
    std::size_t n = presenti_;
    std::size_t primo = 0;
    while (primo < n && d[primo] == testo::CampiTesto::spazio)
        ++primo;
    bool fatto = false;
    if (primo > 1) {
        std::memmove(d + 1, d + primo, n - primo);
        n -= primo - 1;
        if (spaziSospesi_ != 0)
            posSospesi_ -= primo - 1;
        fatto = true;
    }
    if (primo < presenti_) {
        std::size_t ultimo = n;
        while (d[ultimo - 1] == testo::CampiTesto::spazio)
            --ultimo;
        if (n - ultimo > 1) {
            spaziSospesi_ += n - ultimo - 1;
            posSospesi_ = ultimo + 1;
            n = ultimo + 1;
            fatto = true;
        }
    }
    presenti_ = n;
    return fatto;
}

bool LettoreVoci::Impl::risolviSpazi(std::size_t massimo)
{
    if (spaziSospesi_ == 0)
        return true;
    char* d = testo_->dati;
    std::size_t k = posSospesi_;
    while (k < presenti_ && d[k] == testo::CampiTesto::spazio)
        ++k;
    if (k > posSospesi_) {
        spaziSospesi_ += k - posSospesi_;
        std::memmove(d + posSospesi_, d + k, presenti_ - k);
        presenti_ -= k - posSospesi_;
    }
    if (presenti_ == posSospesi_)
        return true;
    // A line end always ends the field; a comma does unless a quote may
    // still be open: the buffer's one field starts, after spaces, with a
    // quote that no other quote has closed yet. Then the spaces were
    // trailing.
    const char c = d[posSospesi_];
    std::size_t primo = 0;
    while (primo < posSospesi_ && d[primo] == testo::CampiTesto::spazio)
        ++primo;
    const bool aperta = primo < posSospesi_ && d[primo] == testo::CampiTesto::virgolette &&
                        std::memchr(d + primo + 1, testo::CampiTesto::virgolette, posSospesi_ - primo - 1) == nullptr;
    if (c == testo::CampiTesto::ritorno || c == testo::CampiTesto::aCapo || (c == testo::CampiTesto::virgola && !aperta)) {
        spaziSospesi_ = 0;
        return true;
    }
    const std::size_t serve = presenti_ + spaziSospesi_;
    if (serve > massimo)
        return false;
    riserva(serve, massimo);
    d = testo_->dati;
    std::memmove(d + posSospesi_ + spaziSospesi_, d + posSospesi_, presenti_ - posSospesi_);
    std::memset(d + posSospesi_, testo::CampiTesto::spazio, spaziSospesi_);
    presenti_ = serve;
    spaziSospesi_ = 0;
    return true;
}

std::string_view LettoreVoci::Impl::prossimoPezzo(std::size_t quanto, std::size_t massimo, bool* oltre)
{
    quanto = std::max<std::size_t>(quanto, 64);
    if (file_ != nullptr)
        file_->nuovoPezzo(finiti_);
    verifica();
    if (const std::string_view pezzo = pezzoDiretto(quanto, massimo); !pezzo.empty()) {
        finiti_ = false;
        return pezzo;
    }
    // What was read past the last cut goes to the front of the other
    // buffer, so that the piece handed out last stays as it is while this
    // one is read (the caller may still be working on it).
    if (consumati_ != 0) {
        Mappa* const vecchio = testo_;
        const std::size_t da = consumati_;
        const std::size_t resto = presenti_ - consumati_;
        testo_ = testo_ == &testi_[0] ? &testi_[1] : &testi_[0];
        presenti_ = 0;
        consumati_ = 0;
        const std::size_t serve = std::max(resto, std::min(quanto, massimo));
        if (finiti_)
            liberaGrande(*testo_, serve);
        riserva(serve, std::max(massimo, resto));
        if (resto != 0)
            std::memcpy(testo_->dati, vecchio->dati + da, resto);
        presenti_ = resto;
        if (finiti_)
            liberaGrande(*vecchio, serve);
    }
    finiti_ = false;
    std::size_t voglio = std::max(std::min(quanto, massimo), presenti_);
    std::size_t senzaRighe = 0;
    for (;;) {
        riserva(voglio, std::max(massimo, presenti_));
        riempi(voglio);
        const bool spazi = risolviSpazi(massimo);
        if (finito_ && grezzi_.empty() && spazi) {
            spaziSospesi_ = 0;  // trailing spaces of the last field
            consumati_ = presenti_;
            return {testo_->dati, presenti_};
        }
        const std::size_t taglio = spazi ? testo::CampiTesto::taglio({testo_->dati, presenti_}, senzaRighe) : 0;
        if (taglio != 0) {
            consumati_ = taglio;
            return {testo_->dati, taglio};
        }
        senzaRighe = presenti_;
        // Spaces counted on the way left room: fill it first.
        if (spazi && presenti_ < voglio && !finito_)
            continue;
        if (spazi && compatta()) {
            senzaRighe = 0;
            continue;
        }
        // One field fills the buffer: a larger one, up to `massimo`. It
        // grows by a quarter at a time, so that no more than that is read
        // past the field's end (the rest of a long field holds no end),
        // and what is read is looked at again only a few times over.
        if (!spazi || presenti_ >= massimo) {
            if (oltre == nullptr)
                throw ErroreRuntime(CodiceErrore::MemoriaEsaurita, percorso_);
            *oltre = true;
            return {};
        }
        voglio = std::min(presenti_ + std::max(quanto, presenti_ / 4), massimo);
    }
}

// --- the public face -------------------------------------------------------

LettoreVoci::LettoreVoci(const std::filesystem::path& percorso) : impl_(std::make_unique<Impl>(percorso)) {}

LettoreVoci::LettoreVoci(DaByte byte) : impl_(std::make_unique<Impl>(byte)) {}

LettoreVoci::~LettoreVoci() = default;

testo::Codifica LettoreVoci::codifica() const noexcept
{
    return impl_->codifica();
}

std::uint64_t LettoreVoci::dimensioneDichiarata() const noexcept
{
    return impl_->dimensioneDichiarata();
}

std::string_view LettoreVoci::prossimoPezzo(std::size_t quanto, std::size_t massimo, bool* oltre)
{
    return impl_->prossimoPezzo(quanto, massimo, oltre);
}

void LettoreVoci::pezziFiniti() noexcept
{
    impl_->pezziFiniti();
}

std::size_t LettoreVoci::memoriaInUso() const noexcept
{
    return impl_->memoriaInUso();
}

void LettoreVoci::verifica()
{
    impl_->verifica();
}

}  // namespace sistema
