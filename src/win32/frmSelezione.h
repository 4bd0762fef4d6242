#pragma once

#include "Finestre.h"

#include <commctrl.h>

#include "sistema/Percorsi.h"

#include <atomic>
#include <exception>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace win32 {

// The file selection dialog: the folders from the drive root down to the
// open one and its subfolders (Dir1), the open folder's files that match
// Filtro (File1), the chosen name (txtNome) and OK. Its answer is
// Variabili::PercorsoScelto; the folder it showed last is
// Variabili::CartellaCorrente, where it opens the next time.
class frmSelezione {
public:
    // Shows the dialog modally over `sopra` and returns once it is closed.
    void mostraModale(HWND sopra);

private:
    // What an unload is: the user's close box (or Escape), or the code's.
    static constexpr int chiusoDallUtente = 0;
    static constexpr int chiusoDaCodice = 1;

    struct Cartella {
        std::wstring testo;
        std::filesystem::path percorso;
        int livello;
        bool aperta;
    };

    // A folder's reading, on a thread of its own: a folder of many thousands
    // of entries takes a while, and the dialog shows at once meanwhile.
    struct Lettura {
        std::filesystem::path cartella;
        sistema::VociCartella voci;  // each sorted as the lists show them
        std::exception_ptr errore;
        std::promise<void> fatta;
        std::atomic<bool> annullata {false};  // another folder was opened, or the dialog closed
    };
    static constexpr UINT WM_LETTA = WM_APP + 1;  // wParam: the reading's number

    static INT_PTR CALLBACK procedura(HWND h, UINT messaggio, WPARAM w, LPARAM l);
    INT_PTR gestisci(UINT messaggio, WPARAM w, LPARAM l);
    void crea();
    void disponi(UINT dpi);
    LRESULT notifica(const NMHDR& n);

    void Form_Load();
    void Form_Activate();
    void Dir1_Change();
    void File1_Click(int riga);
    void cmdOK_Click();
    void Form_QueryUnload(int motivo);
    void scarica(int motivo);

    // Dir1's folder: reads it once for both lists; raises the change when
    // it differs from the one shown.
    void impostaCartella(const std::filesystem::path& cartella);
    void apriCartella(int riga);
    // The reading of the folder shown is complete: its subfolders and files
    // join the lists.
    void completa();
    void mostraFile();
    void adattaColonna(HWND lista) const;

    HWND h_ = nullptr;
    HWND Dir1 = nullptr;
    HWND File1 = nullptr;
    HWND txtNome = nullptr;
    HWND cmdOK = nullptr;
    HFONT liste_ = nullptr;
    HFONT piccolo_ = nullptr;
    HIMAGELIST cartelle_ = nullptr;

    std::wstring Titolo;
    std::wstring Estensione;

    std::filesystem::path cartella_;           // the folder Dir1 shows
    std::vector<Cartella> righeCartelle_;      // Dir1's rows
    std::vector<std::filesystem::path> nomi_;  // the folder's files, sorted
    std::vector<std::wstring> righeFile_;      // File1's rows: the names that match
    std::shared_ptr<Lettura> lettura_;         // the reading under way, if any
    std::future<void> finita_;
    unsigned numeroLettura_ = 0;
    bool riempiendo_ = false;
    bool giaMostrato_ = false;
};

}  // namespace win32
