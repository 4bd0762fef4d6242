#include "frmAmain.h"

#include "InterfacciaWin.h"
#include "Messaggio.h"
#include "Risorse.h"
#include "passi/Comando.h"
#include "stato/Variabili.h"
#include "sistema/CartellaProgramma.h"

namespace win32 {

namespace {

constexpr wchar_t classe[] = L"FendrixAmain";

// Twips of the client area, of Frame3 within it, and of the controls within
// Frame3.
constexpr int larghezzaFinestra = 7185, altezzaFinestra = 3060;
constexpr RECT frame3 {210, 270, 210 + 6765, 270 + 2565};
constexpr Posto postoCmdDuplicate {180, 300, 2175, 2055};
constexpr Posto postoImage1 {2640, 390, 3750, 720};
constexpr std::array<Posto, 4> postiLabel1 {{{2580, 1110, 3885, 285}, {2580, 1410, 3885, 285},
                                            {2580, 1740, 3885, 285}, {2580, 2040, 3885, 285}}};
constexpr std::array<const wchar_t*, 4> testiLabel1 {L"ELIMINA LE RIGHE O COMBINAZIONI RIPETUTE",
                                                     L"IN UN FILE DI TIPO TESTO- ASCII", L"CREANDO UNA COPIA ORDINATA",
                                                     L"CON UN SEMPLICISSIMO CLICK"};

void collocaInFrame(HWND controllo, const Posto& p, UINT dpi)
{
    collocaTwip(controllo, p, dpi, {frame3.left, frame3.top});
}

// The captions' font, smaller where the face shown is wider than the lines
// were drawn for (another face standing in for a missing one).
HFONT didascalieCheEntrano(const std::array<HWND, 4>& righe, UINT dpi)
{
    for (double punti = 9;; punti -= 0.25) {
        const HFONT f = creaCarattere(L"Trebuchet MS", punti, FW_NORMAL, true, dpi);
        if (punti <= 6)
            return f;
        bool entra = true;
        const HDC dc = ::GetDC(righe[0]);
        const HGDIOBJ prima = ::SelectObject(dc, f);
        for (std::size_t i = 0; i < righe.size() && entra; ++i) {
            RECT r {};
            ::GetClientRect(righe[i], &r);
            SIZE s {};
            ::GetTextExtentPoint32W(dc, testiLabel1[i], ::lstrlenW(testiLabel1[i]), &s);
            entra = s.cx <= r.right - r.left;
        }
        ::SelectObject(dc, prima);
        ::ReleaseDC(righe[0], dc);
        if (entra)
            return f;
        ::DeleteObject(f);
    }
}

}  // namespace

frmAmain::frmAmain()
{
    WNDCLASSEXW c {};
    c.cbSize = sizeof c;
    c.lpfnWndProc = procedura;
    c.hInstance = modulo();
    c.hIcon = iconaProgramma(::GetSystemMetrics(SM_CXICON));
    c.hIconSm = iconaProgramma(::GetSystemMetrics(SM_CXSMICON));
    c.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    c.hbrBackground = pennelloBianco();
    c.lpszClassName = classe;
    ::RegisterClassExW(&c);
    // A fixed border, no maximize button; the size is set at the window's
    // resolution once it exists.
    ::CreateWindowExW(WS_EX_CONTROLPARENT, classe, L"  by Quorvanta", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                      CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, modulo(), this);
}

frmAmain::~frmAmain()
{
    if (h_ != nullptr)
        ::DestroyWindow(h_);
    liberaDisegni();
}

void frmAmain::mostra(int comeMostrare)
{
    if (h_ == nullptr)
        return;
    centraSulloSchermo(h_);
    ::ShowWindow(h_, comeMostrare);
    ::UpdateWindow(h_);
}

LRESULT CALLBACK frmAmain::procedura(HWND h, UINT messaggio, WPARAM w, LPARAM l)
{
    auto* f = reinterpret_cast<frmAmain*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
    if (messaggio == WM_NCCREATE) {
        f = static_cast<frmAmain*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        ::SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(f));
        f->h_ = h;
    }
    return f != nullptr ? f->gestisci(messaggio, w, l) : ::DefWindowProcW(h, messaggio, w, l);
}

LRESULT frmAmain::gestisci(UINT messaggio, WPARAM w, LPARAM l)
{
    switch (messaggio) {
    case WM_CREATE:
        eseguiGestore([this] {
            crea();
            Form_Load();
        });
        return 0;
    case WM_COMMAND:
        // The button's click, or Enter while it has the focus.
        if ((LOWORD(w) == IDC_CMDDUPLICATE && HIWORD(w) == BN_CLICKED) ||
            (LOWORD(w) == IDOK && ::GetFocus() == cmdDuplicate))
            eseguiGestore([this] { cmdDuplicate_Click(); });
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(w) != WA_INACTIVE)
            ::SetFocus(cmdDuplicate);
        return 0;
    case WM_DRAWITEM: {
        const auto& voce = *reinterpret_cast<const DRAWITEMSTRUCT*>(l);
        if (voce.hwndItem == Image1) {
            ::FillRect(voce.hDC, &voce.rcItem, pennelloBianco());
            if (banner_ != nullptr) {
                const HDC sorgente = ::CreateCompatibleDC(voce.hDC);
                const HGDIOBJ prima = ::SelectObject(sorgente, banner_);
                ::BitBlt(voce.hDC, 0, 0, voce.rcItem.right, voce.rcItem.bottom, sorgente, 0, 0, SRCCOPY);
                ::SelectObject(sorgente, prima);
                ::DeleteDC(sorgente);
            }
        } else {
            disegnaPulsante(voce, cartella_);
        }
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:  // the captions, over the window's white
        ::SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
        ::SetTextColor(reinterpret_cast<HDC>(w), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(pennelloBianco());
    case WM_PAINT: {
        // Frame3: an etched outline without a caption.
        PAINTSTRUCT ps;
        const HDC dc = ::BeginPaint(h_, &ps);
        const UINT dpi = dpiDi(h_);
        RECT r {pixel(frame3.left, dpi), pixel(frame3.top, dpi), pixel(frame3.right, dpi), pixel(frame3.bottom, dpi)};
        ::DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
        ::EndPaint(h_, &ps);
        return 0;
    }
    case WM_SETCURSOR:
        if (cursoreOccupato())
            return TRUE;
        break;
    case WM_DPICHANGED: {
        const auto* proposto = reinterpret_cast<const RECT*>(l);
        ::SetWindowPos(h_, nullptr, proposto->left, proposto->top, proposto->right - proposto->left,
                       proposto->bottom - proposto->top, SWP_NOZORDER | SWP_NOACTIVATE);
        disponi(HIWORD(w));
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        h_ = nullptr;
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(h_, messaggio, w, l);
}

void frmAmain::crea()
{
    cmdDuplicate = ::CreateWindowExW(0, L"BUTTON", L"Elimina le combinazioni ripetute",
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0, h_,
                                     reinterpret_cast<HMENU>(IDC_CMDDUPLICATE), modulo(), nullptr);
    Image1 = ::CreateWindowExW(0, L"STATIC", L"Fendrix", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 0, 0, 0, 0, h_,
                               reinterpret_cast<HMENU>(IDC_IMAGE1), modulo(), nullptr);
    for (std::size_t i = 0; i < Label1.size(); ++i)
        Label1[i] = ::CreateWindowExW(0, L"STATIC", testiLabel1[i], WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
                                      0, 0, 0, 0, h_, reinterpret_cast<HMENU>(IDC_LABEL1 + i), modulo(), nullptr);
    disponi(dpiDi(h_));
}

void frmAmain::disponi(UINT dpi)
{
    // Places, fonts and pictures at the screen's resolution; the old fonts
    // and pictures go once the controls have the new ones.
    dimensionaClient(h_, larghezzaFinestra, altezzaFinestra, dpi);
    impostaIcona(h_, dpi);
    collocaInFrame(cmdDuplicate, postoCmdDuplicate, dpi);
    collocaInFrame(Image1, postoImage1, dpi);
    for (std::size_t i = 0; i < Label1.size(); ++i)
        collocaInFrame(Label1[i], postiLabel1[i], dpi);

    const HFONT carattere = creaCarattere(L"Verdana", 8.25, FW_NORMAL, false, dpi);
    const HFONT didascalie = didascalieCheEntrano(Label1, dpi);
    ::SendMessageW(cmdDuplicate, WM_SETFONT, reinterpret_cast<WPARAM>(carattere), FALSE);
    for (const HWND riga : Label1)
        ::SendMessageW(riga, WM_SETFONT, reinterpret_cast<WPARAM>(didascalie), TRUE);
    // The folder picture is 128 pixels at 100%; the banner fills its place.
    const int lato = ::MulDiv(128, static_cast<int>(dpi), 96);
    const HBITMAP cartella = disegno(IDR_CARTELLA, lato, lato);
    const HBITMAP banner = disegno(IDR_BANNER, pixel(postoImage1.larghezza, dpi), pixel(postoImage1.altezza, dpi));
    liberaDisegni();
    carattere_ = carattere;
    didascalie_ = didascalie;
    cartella_ = cartella;
    banner_ = banner;
    ::InvalidateRect(h_, nullptr, TRUE);
}

void frmAmain::liberaDisegni()
{
    for (HGDIOBJ* o : {reinterpret_cast<HGDIOBJ*>(&carattere_), reinterpret_cast<HGDIOBJ*>(&didascalie_),
                       reinterpret_cast<HGDIOBJ*>(&cartella_), reinterpret_cast<HGDIOBJ*>(&banner_)}) {
        if (*o != nullptr)
            ::DeleteObject(*o);
        *o = nullptr;
    }
}

void frmAmain::Form_Load()
{
    Variabili::CartellaCorrente = sistema::cartellaDati();
}

void frmAmain::cmdDuplicate_Click()
{
    InterfacciaWin interfaccia(h_);
    passi::comandoDuplicati([this] { selezione_.mostraModale(h_); }, interfaccia);
}

}  // namespace win32
