#include "host/ScrittoreRighe.h"

#include "host/ErroreRuntime.h"
#include "host/Testo.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace host {

namespace {

std::FILE* creaEsclusivo(const QString& percorso)
{
#if defined(Q_OS_WIN)
    return _wfopen(reinterpret_cast<const wchar_t*>(percorso.utf16()), L"wbx");
#else
    return std::fopen(QFile::encodeName(percorso).constData(), "wbx");
#endif
}

int rinomina(const QString& da, const QString& a)
{
#if defined(Q_OS_WIN)
    return _wrename(reinterpret_cast<const wchar_t*>(da.utf16()),
                    reinterpret_cast<const wchar_t*>(a.utf16()));
#else
    return std::rename(QFile::encodeName(da).constData(), QFile::encodeName(a).constData());
#endif
}

}  // namespace

ScrittoreRighe::ScrittoreRighe(const QString& destinazione, Codifica codifica)
    : utf16_(codifica == Codifica::Utf16LE || codifica == Codifica::Utf16BE),
      bigEndian_(codifica == Codifica::Utf16BE),
      destinazione_(destinazione)
{
    const QFileInfo info(destinazione);
    const QString cartella = info.path();
    // A hidden name that the "*.TXT" listing never shows.
    for (int tentativo = 0; file_ == nullptr; ++tentativo) {
        temporaneo_ = unisciPercorso(
            cartella, QStringLiteral(".%1.%2.tmp")
                          .arg(info.fileName())
                          .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
        file_ = creaEsclusivo(temporaneo_);
        if (file_ == nullptr && (errno != EEXIST || tentativo == 100)) {
            const int e = errno;
            temporaneo_.clear();
            throw ErroreRuntime::daErrno(e, destinazione_);
        }
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);  // we hand over large blocks ourselves
    buffer_ = std::make_unique_for_overwrite<char[]>(capacita);
    scrivi(marca(codifica));
}

ScrittoreRighe::~ScrittoreRighe()
{
    abbandona();
}

void ScrittoreRighe::abbandona() noexcept
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporaneo_.isEmpty()) {
        QFile::remove(temporaneo_);
        temporaneo_.clear();
    }
}

void ScrittoreRighe::fallisci(int numeroErrno)
{
    abbandona();
    throw ErroreRuntime::daErrno(numeroErrno, destinazione_);
}

void ScrittoreRighe::svuota()
{
    if (usati_ == 0)
        return;
    errno = 0;
    if (std::fwrite(buffer_.get(), 1, usati_, file_) != usati_)
        fallisci(errno != 0 ? errno : EIO);
    usati_ = 0;
}

void ScrittoreRighe::scrivi(std::string_view byte)
{
    if (byte.empty())
        return;  // an empty view may have no address at all
    if (byte.size() > spazio())
        svuota();
    if (byte.size() > spazio()) {
        errno = 0;
        if (std::fwrite(byte.data(), 1, byte.size(), file_) != byte.size())
            fallisci(errno != 0 ? errno : EIO);
        return;
    }
    std::memcpy(buffer_.get() + usati_, byte.data(), byte.size());
    usati_ += byte.size();
}

void ScrittoreRighe::scriviLungo(std::string_view riga)
{
    scriviTesto(riga);
    scriviTesto("\r\n");
}

void ScrittoreRighe::scriviTesto(std::string_view testo)
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
        const std::size_t pezzo = taglioUtf8(testo, spazio() / 2);
        usati_ += aUtf16(testo.substr(0, pezzo), bigEndian_, buffer_.get() + usati_);
        testo.remove_prefix(pezzo);
    }
}

void ScrittoreRighe::completa()
{
    svuota();
    errno = 0;
    if (std::fflush(file_) != 0)
        fallisci(errno != 0 ? errno : EIO);
#if defined(Q_OS_UNIX)
    if (::fsync(::fileno(file_)) != 0 && errno != EINVAL)
        fallisci(errno);
#endif
    const int chiusura = std::fclose(file_);
    file_ = nullptr;
    if (chiusura != 0)
        fallisci(errno != 0 ? errno : EIO);
    if (rinomina(temporaneo_, destinazione_) != 0)
        fallisci(errno);
    temporaneo_.clear();
}

}  // namespace host
