#include "ElencoCartella.h"

#include "sistema/ErroreRuntime.h"
#include "qt/GestioneErrori.h"
#include "qt/PercorsiQt.h"

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>

namespace qt {

namespace {

struct ChiudiCartella {
    void operator()(DIR* d) const noexcept { ::closedir(d); }
};
using CartellaAperta = std::unique_ptr<DIR, ChiudiCartella>;

}  // namespace

// ---- NomiLetti

QString NomiLetti::testo(qsizetype riga) const
{
    const Voce& v = voci_[static_cast<std::size_t>(riga)];
    return v.ascii ? QString::fromLatin1(byte_.data() + v.inizio, v.lunghezza) : altri_[v.inizio].testo;
}

QString NomiLetti::nome(qsizetype riga) const
{
    const Voce& v = voci_[static_cast<std::size_t>(riga)];
    if (v.ascii)
        return QString::fromLatin1(byte_.data() + v.inizio, v.lunghezza);
    const Altro& a = altri_[v.inizio];
    return a.nome.isNull() ? a.testo : a.nome;
}

std::optional<bool> NomiLetti::finisceCon(qsizetype riga, std::string_view suffisso) const noexcept
{
    const Voce& v = voci_[static_cast<std::size_t>(riga)];
    if (!v.ascii)
        return std::nullopt;
    return v.lunghezza >= suffisso.size() &&
           std::memcmp(chiavi_.data() + v.inizio + v.lunghezza - suffisso.size(), suffisso.data(), suffisso.size()) == 0;
}

void NomiLetti::aggiungi(const char* byte, std::size_t n)
{
    const bool ascii = std::none_of(byte, byte + n, [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (ascii) {
        voci_.push_back({byte_.size(), static_cast<std::uint32_t>(n), true});
        byte_.append(byte, n);
        for (std::size_t i = 0; i < n; ++i)
            chiavi_.push_back(byte[i] >= 'A' && byte[i] <= 'Z' ? static_cast<char>(byte[i] - 'A' + 'a') : byte[i]);
        return;
    }
    // Decoded as every path is; a name with bytes that are not valid UTF-8
    // keeps them, and shows them as U+FFFD.
    QString nome = qt::percorsoDaByte(QByteArray::fromRawData(byte, static_cast<qsizetype>(n)));
    voci_.push_back({altri_.size(), static_cast<std::uint32_t>(n), false});
    if (qt::haByteGrezzi(nome))
        altri_.push_back({qt::testoVisibile(nome), std::move(nome)});
    else
        altri_.push_back({std::move(nome), QString()});
}

void NomiLetti::ordina()
{
    const char* byte = byte_.data();
    const char* chiavi = chiavi_.data();
    const auto latino = [byte](const Voce& v) { return QLatin1String(byte + v.inizio, v.lunghezza); };
    // The text shown, letter case ignored, as QString::compare() orders it.
    const auto confronta = [&](const Voce& a, const Voce& b) {
        if (!a.ascii && !b.ascii)
            return QStringView(altri_[a.inizio].testo).compare(altri_[b.inizio].testo, Qt::CaseInsensitive);
        if (!a.ascii)
            return QStringView(altri_[a.inizio].testo).compare(latino(b), Qt::CaseInsensitive);
        return -QStringView(altri_[b.inizio].testo).compare(latino(a), Qt::CaseInsensitive);
    };
    std::sort(voci_.begin(), voci_.end(), [&](const Voce& a, const Voce& b) {
        if (a.ascii && b.ascii) {
            // Folding ASCII to lower case is all that case folding does to
            // it, so the folded bytes compare as the texts do.
            const int c = std::memcmp(chiavi + a.inizio, chiavi + b.inizio, std::min(a.lunghezza, b.lunghezza));
            if (c != 0)
                return c < 0;
            if (a.lunghezza != b.lunghezza)
                return a.lunghezza < b.lunghezza;
            return std::memcmp(byte + a.inizio, byte + b.inizio, a.lunghezza) < 0;
        }
        const int c = confronta(a, b);
        if (c != 0)
            return c < 0;
        const auto nomeDi = [&](const Voce& v) {
            if (v.ascii)
                return QString(latino(v));
            return altri_[v.inizio].nome.isNull() ? altri_[v.inizio].testo : altri_[v.inizio].nome;
        };
        return nomeDi(a) < nomeDi(b);
    });
}

// ---- ElencoCartella

struct ElencoCartella::Letti {
    NomiLetti cartelle;
    NomiLetti file;
    std::optional<sistema::CodiceErrore> errore;  // met on the reading thread
};

// What the reading thread and the reading share: the thread posts its
// result to `destinatario` only while it is alive.
struct ElencoCartella::Condiviso {
    std::mutex mutex;
    ElencoCartella* destinatario = nullptr;
    std::atomic<bool> annullato{false};
};

namespace {

// Reads the entries of `d` into `letti`, at most `limite` of them when it is
// not negative, sooner when `annullato` turns true; says whether the
// folder's end was reached.
bool leggiVoci(DIR* d, ElencoCartella::Letti& letti, long limite, const std::atomic<bool>* annullato)
{
    const int fd = ::dirfd(d);
    for (long n = 0; limite < 0 || n < limite; ++n) {
        if (annullato != nullptr && n % 1024 == 0 && annullato->load(std::memory_order_relaxed))
            return true;
        const dirent* voce = ::readdir(d);
        if (voce == nullptr)
            return true;
        if (voce->d_name[0] == '.')  // hidden, and "." and ".."
            continue;
        // What a symbolic link leads to is what counts; a file system that
        // gives no types is asked for each name.
        unsigned char tipo = voce->d_type;
        if (tipo == DT_LNK || tipo == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(fd, voce->d_name, &st, 0) != 0)
                continue;
            tipo = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (tipo == DT_DIR)
            letti.cartelle.aggiungi(voce->d_name, std::strlen(voce->d_name));
        else if (tipo == DT_REG)
            letti.file.aggiungi(voce->d_name, std::strlen(voce->d_name));
    }
    return false;
}

void ordina(ElencoCartella::Letti& letti)
{
    letti.cartelle.ordina();
    letti.file.ordina();
}

}  // namespace

ElencoCartella::ElencoCartella(QString cartella)
    : cartella_(std::move(cartella)), condiviso_(std::make_shared<Condiviso>())
{
    condiviso_->destinatario = this;
}

ElencoCartella::~ElencoCartella()
{
    const std::lock_guard chiave(condiviso_->mutex);
    condiviso_->destinatario = nullptr;
    condiviso_->annullato = true;
}

const NomiLetti& ElencoCartella::cartelle() const noexcept
{
    static const NomiLetti nessuno;
    return letti_ ? letti_->cartelle : nessuno;
}

const NomiLetti& ElencoCartella::file() const noexcept
{
    static const NomiLetti nessuno;
    return letti_ ? letti_->file : nessuno;
}

std::shared_ptr<ElencoCartella> ElencoCartella::leggi(const QString& cartella)
{
    std::shared_ptr<ElencoCartella> elenco(new ElencoCartella(cartella));
    auto letti = std::make_shared<Letti>();
    CartellaAperta d(::opendir(qt::byteDiPercorso(cartella).constData()));
    if (!d || leggiVoci(d.get(), *letti, vociSubito, nullptr)) {
        ordina(*letti);
        elenco->ricevi(letti);
        return elenco;
    }

    // The rest on a thread of its own, which owns the open folder from now on.
    DIR* aperta = d.get();
    try {
        std::thread([condiviso = elenco->condiviso_, letti, aperta]() mutable {
            try {
                CartellaAperta d(aperta);
                leggiVoci(d.get(), *letti, -1, &condiviso->annullato);
                d.reset();
                if (condiviso->annullato)
                    return;
                ordina(*letti);
            } catch (...) {
                // Reported on the window's thread, as a handler's failure is.
                const bool memoria = [] {
                    try {
                        throw;
                    } catch (const std::bad_alloc&) {
                        return true;
                    } catch (...) {
                        return false;
                    }
                }();
                letti->cartelle = {};
                letti->file = {};
                letti->errore = memoria ? sistema::CodiceErrore::MemoriaEsaurita : sistema::CodiceErrore::ErroreInterno;
            }
            const std::lock_guard chiave(condiviso->mutex);
            if (ElencoCartella* destinatario = condiviso->destinatario) {
                try {
                    QMetaObject::invokeMethod(
                        destinatario, [destinatario, letti] { destinatario->ricevi(letti); }, Qt::QueuedConnection);
                } catch (...) {
                    // Not even the message could be posted: the lists stay empty.
                }
            }
        }).detach();
        d.release();
    } catch (const std::system_error&) {
        // No thread to be had: the rest is read here.
        leggiVoci(d.get(), *letti, -1, nullptr);
        ordina(*letti);
        elenco->ricevi(letti);
    }
    return elenco;
}

void ElencoCartella::ricevi(const std::shared_ptr<Letti>& letti)
{
    if (const auto errore = letti->errore)
        qt::eseguiGestore([errore] { throw sistema::ErroreRuntime(*errore); });
    letti_ = letti;
    completo_ = true;
    emit letta();
}

}  // namespace qt
