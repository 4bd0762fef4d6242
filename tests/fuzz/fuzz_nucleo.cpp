// libFuzzer target for the whole run against the plain reference: the same
// count of dropped items and the same bytes of the copy, on any input, in
// memory or through sorted runs on disk, with any number of threads.
#include "oracolo/Oracolo.h"

#include <filesystem>

#include <cstdint>
#include <cstdlib>
#include <functional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t dimensione)
{
    const std::string_view testo(reinterpret_cast<const char*>(dati), dimensione);
    // UTF-16 input is decoded by the reader, which the reference does not
    // do; the reader's fuzz target covers it.
    if (testo.size() >= 2 && testo.size() % 2 == 0 &&
        (testo.starts_with("\xFF\xFE") || testo.starts_with("\xFE\xFF")))
        return 0;
    // The options follow from the input, so a finding reproduces alone:
    // memory of a few hundred bytes to a few KiB (runs on disk, merged in
    // several passes) or as measured, 1 to 8 threads, and the copy made in
    // blocks of one line up to the usual size.
    static const std::size_t memorie[] = {0, 0, 300, 1024, 4096};
    static const unsigned fili[] = {1, 2, 3, 8};
    static const unsigned fanIn[] = {2, 3, 64};
    static const std::size_t blocchi[] = {0, 1, 40};
    const std::size_t h = std::hash<std::string_view>{}(testo);
    passi::Opzioni opzioni;
    opzioni.memoria = memorie[h % std::size(memorie)];
    opzioni.fili = fili[(h / 8) % std::size(fili)];
    opzioni.fanIn = fanIn[(h / 64) % std::size(fanIn)];
    opzioni.blocco = blocchi[(h / 256) % std::size(blocchi)];
    opzioni.cartellaCorse = std::filesystem::temp_directory_path();

    const oracolo::Esito atteso = oracolo::esegui(testo);
    const oracolo::Esito ottenuto = oracolo::reale(testo, opzioni);
    if (ottenuto.letti != atteso.letti || ottenuto.eliminate != atteso.eliminate ||
        ottenuto.copia != atteso.copia || ottenuto.byte != atteso.byte)
        std::abort();
    return 0;
}
