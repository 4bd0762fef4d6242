#pragma once

#include <QObject>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qt {

// The names of one kind, folders or files, that a reading of a folder found,
// in the order the dialog's lists show them: by the text shown, letter case
// ignored, then by the real name. Names are kept as the program keeps paths
// (host/Percorsi.h); those of ASCII letters only, nearly all of them, lie
// back to back in two buffers, as they are and folded to lower case, so a
// folder of a million files costs a few tens of MB and no object per name.
class NomiLetti {
public:
    qsizetype size() const noexcept { return static_cast<qsizetype>(voci_.size()); }

    // Row `riga`, in the lists' order: the text shown (each byte that is not
    // valid UTF-8 as U+FFFD) and the real name, every byte kept.
    QString testo(qsizetype riga) const;
    QString nome(qsizetype riga) const;

    // Whether the name of row `riga` ends with `suffisso`, letter case
    // ignored; `suffisso` is ASCII, in lower case. Nothing for a name that is
    // not ASCII only: the caller matches its text itself.
    std::optional<bool> finisceCon(qsizetype riga, std::string_view suffisso) const noexcept;

    // A name from the folder, as the system gives its bytes.
    void aggiungi(const char* byte, std::size_t n);
    void ordina();

private:
    struct Voce {
        std::size_t inizio;  // in byte_ and chiavi_, or in altri_ when !ascii
        std::uint32_t lunghezza;
        bool ascii;
    };
    struct Altro {  // a name with bytes past ASCII
        QString testo;
        QString nome;  // empty when it is the text shown
    };

    std::string byte_;    // the ASCII names as they are
    std::string chiavi_;  // the same, folded to lower case
    std::vector<Altro> altri_;
    std::vector<Voce> voci_;
};

// One reading of a folder: its non-hidden entries that lead (through symbolic
// links) to a folder or to a regular file, read once for both of the
// dialog's lists. The listing's own entry types say what each name is; only
// a symbolic link, or an entry of a file system that gives no type, costs a
// call more. The first few thousand entries are read at once; a larger
// folder is read on to its end, and sorted, on a thread of its own, and
// letta() is raised when it is complete, so that the window stays
// responsive for any size. A folder that cannot be read lists nothing.
class ElencoCartella : public QObject {
    Q_OBJECT
public:
    // Entries read before the rest of a folder goes to a thread.
    static constexpr int vociSubito = 4096;

    // Starts reading `cartella`, a path as the program keeps it.
    static std::shared_ptr<ElencoCartella> leggi(const QString& cartella);
    ~ElencoCartella() override;

    const QString& cartella() const noexcept { return cartella_; }
    bool completo() const noexcept { return completo_; }
    // Empty until the reading is complete.
    const NomiLetti& cartelle() const noexcept;
    const NomiLetti& file() const noexcept;

    // What a reading found, and what it shares with its thread (defined in
    // the .cpp). A reading lives and dies on the window's thread; dropping
    // the last reference cancels its thread, whose result is then lost.
    struct Letti;
    struct Condiviso;

signals:
    void letta();

private:
    explicit ElencoCartella(QString cartella);
    void ricevi(const std::shared_ptr<Letti>& letti);

    QString cartella_;
    bool completo_ = false;
    std::shared_ptr<Letti> letti_;
    std::shared_ptr<Condiviso> condiviso_;
};

}  // namespace qt
