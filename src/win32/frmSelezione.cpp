#include "frmSelezione.h"

#include "Catena.h"
#include "Messaggio.h"
#include "Risorse.h"
#include "passi/Comando.h"
#include "sistema/ErroreRuntime.h"
#include "sistema/Percorsi.h"
#include "stato/Variabili.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace win32 {

namespace {

namespace fs = std::filesystem;

// Twips of the dialog's client area and of its controls.
constexpr int larghezzaDialogo = 6255, altezzaDialogo = 6825;
constexpr Posto postoDir1 {240, 150, 5745, 2400};
constexpr Posto postoFile1 {240, 2850, 5775, 2790};
constexpr Posto postoTxtNome {240, 5760, 5805, 315};
constexpr Posto postoCmdOK {2610, 6270, 1215, 375};

// Past this many rows a list's column is as wide as the list, not measured
// row by row, so that a huge folder opens at once.
constexpr std::size_t righeMisurate = 2000;

// How long the dialog waits for a folder's reading before it shows the
// folder without its entries, which follow once read.
constexpr auto attesaLettura = std::chrono::milliseconds(100);

// Names compared as the Linux build orders them: letter case ignored, by
// character code.
bool primaDi(const std::wstring& a, const std::wstring& b)
{
    const int c = ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
    return c == CSTR_LESS_THAN || (c == CSTR_EQUAL && a < b);
}

// The folder pictures, the system's own, at the lists' row size: the large
// ones scaled down where the small ones would be scaled up. Where the
// system has none to give, the program's own folder stands for both.
HIMAGELIST immaginiCartelle(UINT dpi)
{
    const int lato = metrica(SM_CXSMICON, dpi);
    const UINT grandezza = lato > ::GetSystemMetrics(SM_CXSMICON) ? SHGSI_LARGEICON : SHGSI_SMALLICON;
    const HIMAGELIST lista = ::ImageList_Create(lato, lato, ILC_COLOR32 | ILC_MASK, 2, 0);
    for (const SHSTOCKICONID id : {SIID_FOLDER, SIID_FOLDEROPEN}) {
        SHSTOCKICONINFO info {};
        info.cbSize = sizeof info;
        if (SUCCEEDED(::SHGetStockIconInfo(id, SHGSI_ICON | grandezza, &info)) && info.hIcon != nullptr) {
            ::ImageList_AddIcon(lista, info.hIcon);
            ::DestroyIcon(info.hIcon);
        }
    }
    if (::ImageList_GetImageCount(lista) < 2) {
        ::ImageList_RemoveAll(lista);
        if (const HBITMAP cartella = disegno(IDR_CARTELLA, lato, lato, true)) {
            ::ImageList_Add(lista, cartella, nullptr);
            ::ImageList_Add(lista, cartella, nullptr);
            ::DeleteObject(cartella);
        }
    }
    return lista;
}

struct DialogoVuoto {
    DLGTEMPLATE modello;
    WORD menu, classe, titolo;
};

}  // namespace

void frmSelezione::mostraModale(HWND sopra)
{
    // An empty dialog: the controls are made at the dialog's resolution
    // when it is created. Owned by `sopra`, so it stays above it, keeps it
    // waiting and has no taskbar entry of its own.
    alignas(4) static const DialogoVuoto vuoto {
        {WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, 0, 0, 0, 0}, 0, 0, 0};
    ::DialogBoxIndirectParamW(modulo(), &vuoto.modello, sopra, procedura, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK frmSelezione::procedura(HWND h, UINT messaggio, WPARAM w, LPARAM l)
{
    auto* f = reinterpret_cast<frmSelezione*>(::GetWindowLongPtrW(h, DWLP_USER));
    if (messaggio == WM_INITDIALOG) {
        f = reinterpret_cast<frmSelezione*>(l);
        ::SetWindowLongPtrW(h, DWLP_USER, l);
        f->h_ = h;
    }
    return f != nullptr ? f->gestisci(messaggio, w, l) : FALSE;
}

INT_PTR frmSelezione::gestisci(UINT messaggio, WPARAM w, LPARAM l)
{
    switch (messaggio) {
    case WM_INITDIALOG:
        eseguiGestore([this] {
            crea();
            Form_Load();
        });
        // Every showing starts in the folder list.
        ::SetFocus(Dir1);
        return FALSE;
    case WM_ACTIVATE:
        if (LOWORD(w) != WA_INACTIVE)
            eseguiGestore([this] { Form_Activate(); });
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(w) == IDOK) {
            // Enter in the folder list opens the folder, as a double click
            // does; anywhere else it presses OK.
            if (::GetFocus() == Dir1)
                eseguiGestore([this] { apriCartella(ListView_GetNextItem(Dir1, -1, LVNI_SELECTED)); });
            else
                eseguiGestore([this] { cmdOK_Click(); });
            return TRUE;
        }
        if (LOWORD(w) == IDCANCEL) {  // Escape, as the close box
            eseguiGestore([this] { scarica(chiusoDallUtente); });
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        eseguiGestore([this] { scarica(chiusoDallUtente); });
        return TRUE;
    case WM_NOTIFY: {
        LRESULT risultato = 0;
        eseguiGestore([&] { risultato = notifica(*reinterpret_cast<const NMHDR*>(l)); });
        ::SetWindowLongPtrW(h_, DWLP_MSGRESULT, risultato);
        return TRUE;
    }
    case WM_DRAWITEM:
        disegnaPulsante(*reinterpret_cast<const DRAWITEMSTRUCT*>(l), nullptr);
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(pennelloBianco());
    case WM_CTLCOLORSTATIC:  // the name box, read-only
        ::SetBkColor(reinterpret_cast<HDC>(w), bianco);
        ::SetTextColor(reinterpret_cast<HDC>(w), ::GetSysColor(COLOR_GRAYTEXT));
        return reinterpret_cast<INT_PTR>(pennelloBianco());
    case WM_SETCURSOR:
        // The lists show that they are still being filled.
        if (cursoreOccupato() ||
            (lettura_ && (reinterpret_cast<HWND>(w) == Dir1 || reinterpret_cast<HWND>(w) == File1) &&
             (::SetCursor(::LoadCursorW(nullptr, IDC_APPSTARTING)), true))) {
            ::SetWindowLongPtrW(h_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_LETTA:
        if (lettura_ && w == numeroLettura_)
            eseguiGestore([this] { completa(); });
        return TRUE;
    case WM_DPICHANGED: {
        // Windows' suggested place, and the size of the client area in
        // twips at the new resolution (its suggested size scales the
        // caption and borders too, which do not scale linearly).
        const auto* proposto = reinterpret_cast<const RECT*>(l);
        ::SetWindowPos(h_, nullptr, proposto->left, proposto->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        disponi(HIWORD(w));
        impostaIcona(h_, HIWORD(w));
        return TRUE;
    }
    case WM_DESTROY:
        // A reading still going on is wanted by nobody now.
        if (lettura_)
            lettura_->annullata.store(true, std::memory_order_relaxed);
        lettura_.reset();
        for (const HWND c : {Dir1, File1, txtNome})
            togliNomeAccessibile(c);
        if (liste_ != nullptr)
            ::DeleteObject(liste_);
        if (piccolo_ != nullptr)
            ::DeleteObject(piccolo_);
        if (cartelle_ != nullptr)
            ::ImageList_Destroy(cartelle_);
        liste_ = piccolo_ = nullptr;
        cartelle_ = nullptr;
        h_ = Dir1 = File1 = txtNome = cmdOK = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void frmSelezione::crea()
{
    // The controls start empty at every showing.
    cartella_.clear();
    righeCartelle_.clear();
    nomi_.clear();
    righeFile_.clear();

    // The system scales a dialog made from a template by itself when it
    // moves to a screen of another resolution; these controls are placed
    // in twips here instead.
    using Comportamento = BOOL(WINAPI*)(HWND, int, int);
    if (const auto comportamento = reinterpret_cast<Comportamento>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior"))))
        comportamento(h_, 3, 3);  // DDC_DISABLE_ALL

    const DWORD lista = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                        LVS_SHOWSELALWAYS | LVS_OWNERDATA;
    // The folder pictures are the dialog's: the list only borrows them.
    Dir1 = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"Cartelle", lista | LVS_SHAREIMAGELISTS, 0, 0, 0, 0, h_,
                             reinterpret_cast<HMENU>(IDC_DIR1), modulo(), nullptr);
    File1 = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"File di testo", lista, 0, 0, 0, 0, h_,
                              reinterpret_cast<HMENU>(IDC_FILE1), modulo(), nullptr);
    txtNome = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0,
                                0, 0, 0, h_, reinterpret_cast<HMENU>(IDC_TXTNOME), modulo(), nullptr);
    cmdOK = ::CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0, h_,
                              reinterpret_cast<HMENU>(IDOK), modulo(), nullptr);
    for (const HWND l : {Dir1, File1}) {
        ListView_SetExtendedListViewStyle(l, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        LVCOLUMNW colonna {};
        colonna.mask = LVCF_WIDTH;
        ListView_InsertColumn(l, 0, &colonna);
    }
    nomeAccessibile(Dir1, L"Cartelle");
    nomeAccessibile(File1, L"File di testo");
    nomeAccessibile(txtNome, L"File scelto");
    impostaIcona(h_, dpiDi(h_));
    disponi(dpiDi(h_));
    centraSulloSchermo(h_, ::GetWindow(h_, GW_OWNER));
}

void frmSelezione::disponi(UINT dpi)
{
    // Fonts, pictures and places at the screen's resolution.
    const HFONT liste = creaCarattere(L"Segoe UI Light", 11.25, FW_LIGHT, false, dpi);
    const HFONT piccolo = creaCarattere(L"Segoe UI Light", 9.75, FW_LIGHT, false, dpi);
    const HIMAGELIST cartelle = immaginiCartelle(dpi);
    ::SendMessageW(Dir1, WM_SETFONT, reinterpret_cast<WPARAM>(liste), TRUE);
    ::SendMessageW(File1, WM_SETFONT, reinterpret_cast<WPARAM>(liste), TRUE);
    ::SendMessageW(txtNome, WM_SETFONT, reinterpret_cast<WPARAM>(piccolo), TRUE);
    ::SendMessageW(cmdOK, WM_SETFONT, reinterpret_cast<WPARAM>(piccolo), TRUE);
    ListView_SetImageList(Dir1, cartelle, LVSIL_SMALL);
    for (const HFONT vecchio : {liste_, piccolo_})
        if (vecchio != nullptr)
            ::DeleteObject(vecchio);
    if (cartelle_ != nullptr)
        ::ImageList_Destroy(cartelle_);
    liste_ = liste;
    piccolo_ = piccolo;
    cartelle_ = cartelle;

    dimensionaClient(h_, larghezzaDialogo, altezzaDialogo, dpi);
    collocaTwip(Dir1, postoDir1, dpi);
    collocaTwip(File1, postoFile1, dpi);
    collocaTwip(txtNome, postoTxtNome, dpi);
    collocaTwip(cmdOK, postoCmdOK, dpi);
    adattaColonna(Dir1);
    adattaColonna(File1);
}

void frmSelezione::Form_Load()
{
    passi::selezioneAperta();
    if (Variabili::ModoSelezione == 1)
        Titolo = L" Seleziona file ";
    // A folder removed since the last showing gives way to the nearest one
    // above it that is still there; at the first showing a missing data
    // folder ends the program with its run-time error.
    // The file list takes Filtro as its pattern when it is given the folder.
    impostaCartella(giaMostrato_ ? sistema::cartellaEsistente(Variabili::CartellaCorrente) : Variabili::CartellaCorrente);
    giaMostrato_ = true;
}

void frmSelezione::Form_Activate()
{
    const std::wstring filtro = daUtf8(Variabili::Filtro);
    Estensione = filtro.substr(filtro.size() - std::min<std::size_t>(4, filtro.size()));
    ::SetWindowTextW(h_, (Titolo + Estensione).c_str());
    if (Variabili::ModoSelezione == 1)
        ::EnableWindow(txtNome, FALSE);
}

void frmSelezione::Dir1_Change()
{
    // The file list shows the folder read for Dir1 (impostaCartella has
    // given it its rows, or will once read); its folder is the one
    // remembered for the next showing.
    Variabili::CartellaCorrente = cartella_;
}

void frmSelezione::File1_Click(int riga)
{
    if (riga < 0 || static_cast<std::size_t>(riga) >= righeFile_.size())
        return;
    ::SetWindowTextW(txtNome, passi::fileScelto(cartella_, righeFile_[static_cast<std::size_t>(riga)]).c_str());
}

void frmSelezione::cmdOK_Click()
{
    scarica(chiusoDaCodice);
}

void frmSelezione::Form_QueryUnload(int motivo)
{
    passi::selezioneChiusa(motivo == chiusoDallUtente);
}

void frmSelezione::scarica(int motivo)
{
    Form_QueryUnload(motivo);
    ::EndDialog(h_, motivo == chiusoDaCodice ? IDOK : IDCANCEL);
}

void frmSelezione::impostaCartella(const fs::path& cartella)
{
    const fs::path nuova = sistema::cartellaPulita(cartella);
    if (const auto errore = sistema::erroreCartella(nuova))
        throw sistema::ErroreRuntime(*errore, nuova);
    if (nuova == cartella_ && !righeCartelle_.empty())
        return;

    // The chain from the root down to the folder, shown at once; the
    // subfolders and the files follow from the reading.
    std::vector<Cartella> righe;
    for (Anello& a : catenaCartelle(nuova))
        righe.push_back({std::move(a.nome), std::move(a.percorso), static_cast<int>(righe.size()), false});
    righe.back().aperta = true;
    cartella_ = nuova;
    righeCartelle_ = std::move(righe);
    nomi_.clear();

    if (lettura_)
        lettura_->annullata.store(true, std::memory_order_relaxed);
    auto lettura = std::make_shared<Lettura>();
    lettura->cartella = nuova;
    finita_ = lettura->fatta.get_future();
    lettura_ = lettura;
    const unsigned numero = ++numeroLettura_;
    std::thread([lettura, numero, dialogo = h_] {
        try {
            sistema::VociCartella voci = sistema::leggiCartella(lettura->cartella, &lettura->annullata);
            const auto ordine = [](const fs::path& a, const fs::path& b) { return primaDi(a.native(), b.native()); };
            std::sort(voci.cartelle.begin(), voci.cartelle.end(), ordine);
            std::sort(voci.file.begin(), voci.file.end(), ordine);
            lettura->voci = std::move(voci);
        } catch (...) {
            lettura->errore = std::current_exception();
        }
        lettura->fatta.set_value();
        // To a dialog that may have closed meanwhile: then nobody takes it.
        ::PostMessageW(dialogo, WM_LETTA, numero, 0);
    }).detach();

    const int aperta = static_cast<int>(righeCartelle_.size()) - 1;
    ListView_SetItemCountEx(Dir1, static_cast<int>(righeCartelle_.size()), 0);
    ListView_SetItemState(Dir1, aperta, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(Dir1, aperta, FALSE);
    ::InvalidateRect(Dir1, nullptr, TRUE);
    // A folder of ordinary size is read by now, and shows whole at once.
    if (finita_.wait_for(attesaLettura) == std::future_status::ready)
        completa();
    else
        mostraFile();
    Dir1_Change();
}

void frmSelezione::completa()
{
    const std::shared_ptr<Lettura> lettura = std::move(lettura_);
    lettura_.reset();
    if (!lettura)
        return;
    if (lettura->errore)
        std::rethrow_exception(lettura->errore);
    const int livello = static_cast<int>(righeCartelle_.size());
    righeCartelle_.reserve(righeCartelle_.size() + lettura->voci.cartelle.size());
    for (fs::path& c : lettura->voci.cartelle) {
        std::wstring nome = std::move(c).native();
        fs::path percorso = cartella_ / nome;
        righeCartelle_.push_back({std::move(nome), std::move(percorso), livello, false});
    }
    nomi_ = std::move(lettura->voci.file);
    ListView_SetItemCountEx(Dir1, static_cast<int>(righeCartelle_.size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    adattaColonna(Dir1);
    ::InvalidateRect(Dir1, nullptr, TRUE);
    mostraFile();
    // The cursor over the lists is the plain one again.
    aggiornaCursore();
}

void frmSelezione::apriCartella(int riga)
{
    if (riga >= 0 && static_cast<std::size_t>(riga) < righeCartelle_.size())
        impostaCartella(righeCartelle_[static_cast<std::size_t>(riga)].percorso);
}

void frmSelezione::mostraFile()
{
    // The names that match the pattern, letter case ignored, on their long
    // names only.
    const std::wstring filtro = daUtf8(Variabili::Filtro);
    std::vector<std::wstring> righe;
    for (const fs::path& nome : nomi_)
        if (::PathMatchSpecW(nome.c_str(), filtro.c_str()))
            righe.push_back(nome.native());
    riempiendo_ = true;
    righeFile_ = std::move(righe);
    ListView_SetItemState(File1, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(File1, static_cast<int>(righeFile_.size()), 0);
    if (!righeFile_.empty())
        ListView_EnsureVisible(File1, 0, FALSE);
    adattaColonna(File1);
    ::InvalidateRect(File1, nullptr, TRUE);
    riempiendo_ = false;
}

void frmSelezione::adattaColonna(HWND lista) const
{
    // As wide as the list, or as its longest row where that is wider (then
    // the list scrolls sideways).
    RECT r {};
    ::GetClientRect(lista, &r);
    int larghezza = r.right - r.left;
    const bool cartelle = lista == Dir1;
    const std::size_t righe = cartelle ? righeCartelle_.size() : righeFile_.size();
    if (righe <= righeMisurate) {
        const HDC dc = ::GetDC(lista);
        const HGDIOBJ prima = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(lista, WM_GETFONT, 0, 0)));
        int lato = 0, altezzaIcona = 0;
        if (cartelle && cartelle_ != nullptr)
            ::ImageList_GetIconSize(cartelle_, &lato, &altezzaIcona);
        for (std::size_t i = 0; i < righe; ++i) {
            const std::wstring& t = cartelle ? righeCartelle_[i].testo : righeFile_[i];
            SIZE s {};
            ::GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &s);
            const int rientro = cartelle ? (righeCartelle_[i].livello + 1) * lato : 0;
            larghezza = std::max(larghezza, static_cast<int>(s.cx) + rientro + 16);
        }
        ::SelectObject(dc, prima);
        ::ReleaseDC(lista, dc);
    }
    ListView_SetColumnWidth(lista, 0, larghezza);
}

LRESULT frmSelezione::notifica(const NMHDR& n)
{
    if (n.hwndFrom != Dir1 && n.hwndFrom != File1)
        return 0;
    switch (n.code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& voce = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(n)).item;
        const auto riga = static_cast<std::size_t>(voce.iItem);
        if (n.hwndFrom == Dir1) {
            if (riga >= righeCartelle_.size())
                return 0;
            const Cartella& c = righeCartelle_[riga];
            if ((voce.mask & LVIF_TEXT) != 0)
                voce.pszText = const_cast<wchar_t*>(c.testo.c_str());
            if ((voce.mask & LVIF_IMAGE) != 0)
                voce.iImage = c.aperta ? 1 : 0;
            if ((voce.mask & LVIF_INDENT) != 0)
                voce.iIndent = c.livello;
        } else if (riga < righeFile_.size() && (voce.mask & LVIF_TEXT) != 0) {
            voce.pszText = const_cast<wchar_t*>(righeFile_[riga].c_str());
        }
        return 0;
    }
    case LVN_ITEMACTIVATE:
        if (n.hwndFrom == Dir1)
            apriCartella(reinterpret_cast<const NMITEMACTIVATE&>(n).iItem);
        return 0;
    case LVN_ITEMCHANGED: {
        // A file selected, by mouse or keyboard.
        const auto& cambio = reinterpret_cast<const NMLISTVIEW&>(n);
        if (n.hwndFrom == File1 && !riempiendo_ && cambio.iItem >= 0 && (cambio.uChanged & LVIF_STATE) != 0 &&
            (cambio.uNewState & LVIS_SELECTED) != 0 && (cambio.uOldState & LVIS_SELECTED) == 0)
            File1_Click(cambio.iItem);
        return 0;
    }
    case LVN_ODFINDITEMW: {
        // Typing a name's first letters goes to it.
        const auto& cerca = reinterpret_cast<const NMLVFINDITEMW&>(n);
        if ((cerca.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) == 0 || cerca.lvfi.psz == nullptr)
            return -1;
        const std::size_t lunghezza = ::lstrlenW(cerca.lvfi.psz);
        const std::size_t righe = n.hwndFrom == Dir1 ? righeCartelle_.size() : righeFile_.size();
        for (std::size_t k = 0; k < righe; ++k) {
            const std::size_t i = (static_cast<std::size_t>(std::max(cerca.iStart, 0)) + k) % righe;
            const std::wstring& t = n.hwndFrom == Dir1 ? righeCartelle_[i].testo : righeFile_[i];
            if (t.size() >= lunghezza &&
                ::CompareStringOrdinal(t.data(), static_cast<int>(lunghezza), cerca.lvfi.psz,
                                       static_cast<int>(lunghezza), TRUE) == CSTR_EQUAL)
                return static_cast<LRESULT>(i);
        }
        return -1;
    }
    default:
        return 0;
    }
}

}  // namespace win32
