#include "passi/Passi.h"

#include "Lettore.h"

#include "testo/CampiTesto.h"
#include "sistema/CartellaProgramma.h"
#include "sistema/ErroreRuntime.h"
#include "sistema/FileTemporaneo.h"
#include "sistema/LettoreVoci.h"
#include "sistema/Percorsi.h"
#include "sistema/Risorse.h"
#include "sistema/ScrittoreRighe.h"
#include "nucleo/Bilancio.h"
#include "nucleo/Nucleo.h"
#include "nucleo/Squadra.h"
#include "stato/Variabili.h"

#include <algorithm>
#include <future>
#include <limits>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace passi {

namespace {

// A run's storage: an unnamed temporary file. Where its file system keeps
// files in memory, its pages are reserved on the run's budget (`conto`)
// before they are written, and a run that does not fit ends the run out of
// memory instead of being killed.
class SupportoFile : public nucleo::Supporto {
public:
    SupportoFile(const std::filesystem::path& cartella, nucleo::Bilancio* conto) : cartella_(cartella), conto_(conto), file_(cartella) {}
    ~SupportoFile() override
    {
        if (conto_ != nullptr)
            conto_->rilascia(contati_);
    }
    void scrivi(const char* dati, std::size_t n) override
    {
        if (conto_ != nullptr) {
            constexpr std::uint64_t pagina = 4096;
            const auto pagine = [](std::uint64_t b) { return (b + pagina - 1) / pagina * pagina; };
            const auto piu = static_cast<std::size_t>(pagine(scritti_ + n) - pagine(scritti_));
            if (piu != 0 && !conto_->prenota(piu))
                throw sistema::ErroreRuntime(sistema::CodiceErrore::MemoriaEsaurita, cartella_);
            contati_ += piu;
        }
        file_.scrivi(dati, n);
        scritti_ += n;
    }
    std::size_t leggi(std::uint64_t da, char* dati, std::size_t n) override { return file_.leggi(da, dati, n); }

private:
    std::filesystem::path cartella_;
    nucleo::Bilancio* conto_;
    std::uint64_t scritti_ = 0;
    std::size_t contati_ = 0;
    sistema::FileTemporaneo file_;
};

// Below this size one thread reads faster than several start.
constexpr std::uint64_t sogliaParallela = std::uint64_t{1} << 20;
// What each thread reads of a piece: large enough to spread the cost of a
// round, small enough to stay in the cache while its items are taken.
constexpr std::size_t pezzoPerFilo = std::size_t{2} << 20;
// What a run takes outside its budget at most: the copy's writer (1 MiB),
// the stack of the thread that reads ahead (1 MiB) and the allocator's
// rounding of everything else.
constexpr std::size_t margineMinimo = std::size_t{4} << 20;
// The least budget a run starts with.
constexpr std::size_t memoriaMinima = std::size_t{1} << 20;
// The lines of the copy go out in blocks of about this size.
constexpr std::size_t bloccoPredefinito = std::size_t{1} << 20;
// Each line of the copy ends so.
constexpr std::string_view fineRiga = "\r\n";

// Gives the core every item of the sections of a piece: the emptiness test
// comes before trimming, so a field of spaces only is an item, stored as "".
void assimila(nucleo::Deduplica& deduplica, std::vector<testo::CampiTesto>& sezioni, std::size_t byte)
{
    deduplica.assimila(sezioni.size(), byte, [&](std::size_t i, nucleo::Immissione& immissione) {
        testo::CampiTesto& campi = sezioni[i];
        while (!campi.fine()) {
            const std::string_view voce = campi.prossimo();
            if (!voce.empty() && !immissione.aggiungi(testo::CampiTesto::senzaSpazi(voce)))
                return false;
        }
        return true;
    });
}

}  // namespace

Opzioni& opzioniProgramma()
{
    static Opzioni opzioni;
    return opzioni;
}

Esecuzione::Esecuzione(const Opzioni& opzioni) : opzioni_(opzioni) {}

Esecuzione::~Esecuzione() = default;

std::size_t Esecuzione::prepara(std::uint64_t dichiarata)
{
    unsigned fili = opzioni_.fili;
    if (fili == 0)
        fili = dichiarata < sogliaParallela ? 1 : sistema::processoriDisponibili();
    squadra_ = std::make_unique<nucleo::Squadra>(fili);
    fili = squadra_->fili();

    // The budget is measured once the threads run, since they take memory
    // too. A quarter of the room, and never less than what the run takes
    // outside the budget (the copy's writer, the reading thread's stack,
    // the allocator's own), is left to them and to the windows.
    std::size_t memoria = opzioni_.memoria;
    if (memoria == 0) {
        const std::size_t stanza = sistema::memoriaDisponibile();
        const std::size_t margine = std::max(stanza / 4, margineMinimo);
        memoria = stanza > margine ? stanza - margine : 0;
        // With less, the kept items would go to disk a few at a time: the
        // run could not end in any useful time.
        if (memoria < memoriaMinima)
            throw std::bad_alloc();
    }
    memoria_ = memoria;
    bilancio_ = std::make_unique<nucleo::Bilancio>(memoria);

    nucleo::Regole regole;
    if (opzioni_.fanIn != 0)
        regole.fanIn = opzioni_.fanIn;
    regole.byteCache = sistema::byteCacheProcessore();
    // Each run on disk holds a descriptor: a few stay for the source, the
    // copy and the libraries.
    regole.corseAperte = opzioni_.corseAperte != 0 ? opzioni_.corseAperte
                                                   : std::max<std::size_t>(sistema::descrittoriDisponibili(), 24) - 16;
    // The runs go to disk: where the data folder's file system keeps its
    // files in memory, to a temporary folder on disk, or else into the
    // budget.
    sistema::CartellaCorse corse{opzioni_.cartellaCorse, false};
    if (corse.cartella.empty())
        corse = sistema::cartellaCorse(sistema::cartellaDati());
    nucleo::Bilancio* conto = corse.inMemoria ? bilancio_.get() : nullptr;
    deduplica_ = std::make_unique<nucleo::Deduplica>(
        *squadra_, *bilancio_, regole,
        [cartella = corse.cartella, conto] { return std::make_unique<SupportoFile>(cartella, conto); });
    return std::clamp<std::size_t>(memoria / 32, 64, fili * pezzoPerFilo);
}

void Esecuzione::leggi(sistema::LettoreVoci& sorgente)
{
    const std::size_t pezzo = prepara(sorgente.dimensioneDichiarata());
    const unsigned fili = squadra_->fili();
    Lettore lettore(sorgente, *bilancio_, pezzo, [this] { deduplica_->faiSpazio(); });

    // Reader, fields, core: while a team of several works on a piece, the
    // reader reads the next one on a thread of its own (it keeps both
    // valid), so reading the file costs the team no time.
    std::vector<testo::CampiTesto> sezioni;
    for (std::string_view testo = lettore.primo(); !testo.empty();) {
        sezioni = testo::CampiTesto(testo, lettore.utf16()).sezioni(fili);
        std::future<std::string_view> prossimo = lettore.anticipa(testo, fili);
        // The round's lists are sized for a piece of the usual size at most:
        // a piece that holds a long field holds few items.
        assimila(*deduplica_, sezioni, std::min(testo.size(), lettore.normale()));
        testo = lettore.seguente(prossimo);
    }
    sezioni.clear();
    lettore.concludi();
    deduplica_->concludi();
}

std::int64_t Esecuzione::totale() const noexcept
{
    return deduplica_ ? deduplica_->totale() : 0;
}

std::int64_t Esecuzione::uniche() const noexcept
{
    return deduplica_ ? deduplica_->uniche() : 0;
}

std::size_t Esecuzione::corseScritte() const noexcept
{
    return deduplica_ ? deduplica_->corseScritte() : 0;
}

unsigned Esecuzione::fili() const noexcept
{
    return squadra_ ? squadra_->fili() : 0;
}

void Esecuzione::ordina()
{
    deduplica_->ordina();
}

std::size_t Esecuzione::memoriaMassima() const noexcept
{
    return bilancio_ ? bilancio_->massimo() : 0;
}

void Esecuzione::riservaCopia(testo::Codifica codifica, const std::filesystem::path& percorso)
{
    // Its lines, each with its line end, in UTF-16 at most two bytes for
    // each byte of UTF-8, and the mark; in whole pages.
    const auto byte = [&] {
        const std::uint64_t righe =
            deduplica_->byteVoci() + fineRiga.size() * static_cast<std::uint64_t>(deduplica_->uniche());
        const std::uint64_t n = (testo::inUtf16(codifica) ? 2 * righe : righe) + testo::marca(codifica).size();
        return (n + 4095) / 4096 * 4096;
    };
    for (int tentativo = 0;; ++tentativo) {
        const std::uint64_t n = byte();
        if (n <= std::numeric_limits<std::size_t>::max() && bilancio_->prenota(static_cast<std::size_t>(n)))
            return;  // held for as long as the run: the copy stays in memory
        // The items kept in memory go to a run first: the copy is written
        // from it with a few buffers.
        if (tentativo > 0 || deduplica_->corseScritte() != 0)
            throw sistema::ErroreRuntime(sistema::CodiceErrore::DiscoPieno, percorso);
        deduplica_->versaInCorsa();
    }
}

void Esecuzione::righe(const std::function<void(std::string_view)>& blocco)
{
    // The blocks of lines come out of what the budget has left: the two
    // sets of a block a thread, or one block from a run on disk.
    const std::size_t byteBlocco =
        opzioni_.blocco != 0 ? opzioni_.blocco
                             : std::clamp<std::size_t>(bilancio_->liberi() / (4 * squadra_->fili()), 4096, bloccoPredefinito);
    if (deduplica_->corseScritte() != 0)
        righeDaCorsa(byteBlocco, blocco);
    else
        righeDaMemoria(byteBlocco, blocco);
}

void Esecuzione::righeDaCorsa(std::size_t byteBlocco, const std::function<void(std::string_view)>& blocco)
{
    // From the merged run, in one pass.
    // The block's room is taken once: grown by doubling, the buffer would
    // at its last step hold its old and new storage, half as much again as
    // the block, which a tight address-space limit refuses.
    std::string buffer;
    buffer.reserve(byteBlocco);
    deduplica_->visita([&](std::string_view voce) {
        if (buffer.size() + voce.size() + fineRiga.size() > byteBlocco) {
            if (!buffer.empty()) {
                blocco(buffer);
                buffer.clear();
            }
            // A line larger than a block goes as it is, not copied.
            if (voce.size() + fineRiga.size() > byteBlocco) {
                blocco(voce);
                blocco(fineRiga);
                return;
            }
        }
        buffer.append(voce).append(fineRiga);
    });
    if (!buffer.empty())
        blocco(buffer);
}

namespace {

// The lines of one key range, made by one thread, with its very long items
// where they go.
struct Linee {
    nucleo::Blocco buffer;
    std::vector<nucleo::Deduplica::Inserto> lunghe;
    std::size_t usati = 0;

    void fai(const nucleo::Deduplica& deduplica, std::size_t intervallo)
    {
        usati = deduplica.accoda(intervallo, fineRiga, buffer, lunghe);
    }
    void dai(const std::function<void(std::string_view)>& blocco) const
    {
        const std::string_view linee(buffer.data(), usati);
        std::size_t da = 0;
        for (const auto& lunga : lunghe) {
            if (lunga.posizione > da)
                blocco(linee.substr(da, lunga.posizione - da));
            blocco(lunga.voce);
            da = lunga.posizione;
        }
        if (da < linee.size())
            blocco(linee.substr(da));
    }
};

// The ranges go in waves of one range a thread. Two sets of lines, one
// Linee a thread each, take turns: wave w is made into set w % 2 while
// wave w - 1 goes out of the other.
class DueSerie {
public:
    DueSerie(std::size_t fili, std::size_t intervalli) : fili_(fili), intervalli_(intervalli), linee_(2 * fili) {}

    std::size_t onde() const noexcept { return (intervalli_ + fili_ - 1) / fili_; }
    // The ranges of wave w (none past the last): w * fili on.
    std::size_t intervalliDi(std::size_t w) const noexcept
    {
        return w < onde() ? std::min(fili_, intervalli_ - w * fili_) : 0;
    }
    std::size_t primo(std::size_t w) const noexcept { return w * fili_; }
    // The lines of wave w's k-th range.
    Linee& linee(std::size_t w, std::size_t k) noexcept { return linee_[(w % 2) * fili_ + k]; }

private:
    std::size_t fili_;
    std::size_t intervalli_;
    std::vector<Linee> linee_;
};

}  // namespace

void Esecuzione::righeDaMemoria(std::size_t byteBlocco, const std::function<void(std::string_view)>& blocco)
{
    // The sorted items are cut into key ranges, and the team writes the
    // lines of as many ranges at a time as it has threads, each into a
    // buffer of its own, while one of them hands out the blocks of the
    // ranges before. Merging the parts and making the lines so costs one
    // thread's share of the time, and handing them out hides behind it.
    const std::size_t fili = squadra_->fili();
    const std::size_t intervalli = deduplica_->dividi(byteBlocco, fili);
    if (fili == 1) {
        Linee linee;
        for (std::size_t i = 0; i < intervalli; ++i) {
            linee.fai(*deduplica_, i);
            linee.dai(blocco);
        }
        return;
    }
    DueSerie serie(fili, intervalli);
    for (std::size_t onda = 0; onda <= serie.onde(); ++onda) {
        // Wave `onda` is made while wave onda - 1 goes out as the first
        // task, which the calling thread takes while the others wake.
        const std::size_t fatti = serie.intervalliDi(onda);
        const std::size_t dati = onda > 0 ? serie.intervalliDi(onda - 1) : 0;
        const std::size_t consegne = dati != 0 ? 1 : 0;
        squadra_->perOgni(consegne + fatti, [&](std::size_t t) {
            if (t < consegne) {
                for (std::size_t k = 0; k < dati; ++k)
                    serie.linee(onda - 1, k).dai(blocco);
                return;
            }
            const std::size_t k = t - consegne;
            serie.linee(onda, k).fai(*deduplica_, serie.primo(onda) + k);
        });
    }
}

std::filesystem::path percorsoCopia(const std::filesystem::path& sorgente)
{
    // Joined in the system's own characters: bytes on Linux, UTF-16 on Windows.
    std::filesystem::path nome("NEW - ");
    nome += Variabili::NomeDaPercorso(sorgente);
    return sistema::cartellaDati() / nome;
}

void scriviCopia(const std::filesystem::path& percorso, Esecuzione& righe, testo::Codifica codifica,
                 const std::filesystem::path& sorgente)
{
    // A copy on a file system kept in memory is memory too: it must fit in
    // the run's budget before anything of it is written.
    if (sistema::inMemoria(percorso.parent_path()))
        righe.riservaCopia(codifica, percorso);
    sistema::ScrittoreRighe file(percorso, codifica, sorgente);
    righe.righe([&](std::string_view blocco) { file.scriviTesto(blocco); });
    file.completa();
}

}  // namespace passi
