#include "Finestre.h"

#include "testo/Codifica.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace win32 {

bool occupato = false;

HINSTANCE modulo()
{
    return ::GetModuleHandleW(nullptr);
}

namespace {

// The per-monitor functions of Windows 10 (1607 and later), looked up once:
// on an older system the program still starts, at the primary screen's
// resolution.
template <typename F>
F funzione(const char* nome)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), nome)));
}

using DpiFinestra = UINT(WINAPI*)(HWND);
using MetricaDpi = int(WINAPI*)(int, UINT);
using AdattaDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

const DpiFinestra dpiFinestra = funzione<DpiFinestra>("GetDpiForWindow");
const MetricaDpi metricaDpi = funzione<MetricaDpi>("GetSystemMetricsForDpi");
const AdattaDpi adattaDpi = funzione<AdattaDpi>("AdjustWindowRectExForDpi");

UINT dpiSchermo()
{
    const HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int CALLBACK trovato(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM esiste)
{
    *reinterpret_cast<bool*>(esiste) = true;
    return 0;
}

bool installato(const wchar_t* nome)
{
    static std::map<std::wstring, bool> noti;
    const auto [voce, nuovo] = noti.try_emplace(nome, false);
    if (nuovo) {
        LOGFONTW lf {};
        lf.lfCharSet = DEFAULT_CHARSET;
        ::lstrcpynW(lf.lfFaceName, nome, LF_FACESIZE);
        const HDC dc = ::GetDC(nullptr);
        ::EnumFontFamiliesExW(dc, &lf, trovato, reinterpret_cast<LPARAM>(&voce->second), 0);
        ::ReleaseDC(nullptr, dc);
    }
    return voce->second;
}

}  // namespace

UINT dpiDi(HWND finestra)
{
    if (dpiFinestra != nullptr && finestra != nullptr)
        if (const UINT dpi = dpiFinestra(finestra); dpi != 0)
            return dpi;
    return dpiSchermo();
}

int pixel(int twip, UINT dpi)
{
    return ::MulDiv(twip, static_cast<int>(dpi), 1440);
}

int metrica(int indice, UINT dpi)
{
    return metricaDpi != nullptr ? metricaDpi(indice, dpi) : ::MulDiv(::GetSystemMetrics(indice), static_cast<int>(dpi), 96);
}

void dimensionaClient(HWND finestra, int larghezza, int altezza, UINT dpi)
{
    RECT r {0, 0, pixel(larghezza, dpi), pixel(altezza, dpi)};
    const auto stile = static_cast<DWORD>(::GetWindowLongPtrW(finestra, GWL_STYLE));
    const auto stileEx = static_cast<DWORD>(::GetWindowLongPtrW(finestra, GWL_EXSTYLE));
    if (adattaDpi != nullptr)
        adattaDpi(&r, stile, FALSE, stileEx, dpi);
    else
        ::AdjustWindowRectEx(&r, stile, FALSE, stileEx);
    ::SetWindowPos(finestra, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void collocaTwip(HWND controllo, const Posto& posto, UINT dpi, POINT dentro)
{
    ::SetWindowPos(controllo, nullptr, pixel(dentro.x + posto.sinistra, dpi), pixel(dentro.y + posto.sopra, dpi),
                   pixel(posto.larghezza, dpi), pixel(posto.altezza, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

void centraSulloSchermo(HWND finestra, HWND vicino)
{
    HMONITOR monitor;
    if (vicino != nullptr) {
        monitor = ::MonitorFromWindow(vicino, MONITOR_DEFAULTTONEAREST);
    } else {
        POINT mouse {};
        ::GetCursorPos(&mouse);
        monitor = ::MonitorFromPoint(mouse, MONITOR_DEFAULTTOPRIMARY);
    }
    MONITORINFO info {};
    info.cbSize = sizeof info;
    RECT r {};
    if (!::GetMonitorInfoW(monitor, &info) || !::GetWindowRect(finestra, &r))
        return;
    const RECT& area = info.rcWork;
    const int l = r.right - r.left;
    const int a = r.bottom - r.top;
    // Whole on the screen when it fits; its caption reachable when not.
    const int x = std::max(area.left, area.left + (area.right - area.left - l) / 2);
    const int y = std::max(area.top, area.top + (area.bottom - area.top - a) / 2);
    ::SetWindowPos(finestra, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT creaCarattere(const wchar_t* nome, double punti, int peso, bool corsivo, UINT dpi)
{
    const wchar_t* faccia = installato(nome) ? nome : installato(L"Segoe UI") ? L"Segoe UI" : L"Tahoma";
    LOGFONTW lf {};
    lf.lfHeight = -static_cast<LONG>(punti * dpi / 72.0 + 0.5);
    lf.lfWeight = peso;
    lf.lfItalic = corsivo ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    ::lstrcpynW(lf.lfFaceName, faccia, LF_FACESIZE);
    return ::CreateFontIndirectW(&lf);
}

std::wstring daUtf8(std::string_view testo)
{
    // UTF-16 little-endian, as wchar_t holds it on Windows.
    static_assert(sizeof(wchar_t) == 2);
    std::string byte(2 * testo.size(), '\0');
    byte.resize(testo::aUtf16(testo, false, byte.data()));
    std::wstring w(byte.size() / 2, L'\0');
    std::memcpy(w.data(), byte.data(), byte.size());
    return w;
}

HICON iconaProgramma(int lato)
{
    // One icon of each size for the program's life, shared by its windows,
    // however often they are shown or change resolution.
    static std::map<int, HICON> fatte;
    if (const auto trovata = fatte.find(lato); trovata != fatte.end())
        return trovata->second;
    // Scaled down from the nearest larger size, never blurred up: a function
    // of the version 6 common controls only, which the manifest asks for.
    using Riduci = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto riduci = reinterpret_cast<Riduci>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown")));
    HICON icona = nullptr;
    if (riduci == nullptr || FAILED(riduci(modulo(), MAKEINTRESOURCEW(1), lato, lato, &icona)))
        icona = static_cast<HICON>(::LoadImageW(modulo(), MAKEINTRESOURCEW(1), IMAGE_ICON, lato, lato, 0));
    fatte.emplace(lato, icona);
    return icona;
}

void impostaIcona(HWND finestra, UINT dpi)
{
    ::SendMessageW(finestra, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconaProgramma(metrica(SM_CXICON, dpi))));
    ::SendMessageW(finestra, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(iconaProgramma(metrica(SM_CXSMICON, dpi))));
}

HBRUSH pennelloBianco()
{
    return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}

bool cursoreOccupato()
{
    if (!occupato)
        return false;
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    return true;
}

void aggiornaCursore()
{
    // As Windows does when the mouse moves: the window under the cursor
    // says which cursor it wants now.
    POINT p {};
    if (!::GetCursorPos(&p))
        return;
    const HWND sotto = ::WindowFromPoint(p);
    DWORD processo = 0;
    if (sotto == nullptr || (::GetWindowThreadProcessId(sotto, &processo), processo != ::GetCurrentProcessId()))
        return;
    const auto zona = static_cast<WORD>(::SendMessageW(sotto, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)));
    ::SendMessageW(sotto, WM_SETCURSOR, reinterpret_cast<WPARAM>(sotto), MAKELPARAM(zona, WM_MOUSEMOVE));
}

}  // namespace win32

namespace win32 {

void disegnaPulsante(const DRAWITEMSTRUCT& voce, HBITMAP immagine)
{
    const HDC dc = voce.hDC;
    RECT r = voce.rcItem;
    const bool premuto = (voce.itemState & ODS_SELECTED) != 0;
    ::FillRect(dc, &r, pennelloBianco());
    ::DrawEdge(dc, &r, premuto ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    const int spostamento = premuto ? 1 : 0;
    if (immagine != nullptr) {
        BITMAP b {};
        ::GetObjectW(immagine, sizeof b, &b);
        const HDC sorgente = ::CreateCompatibleDC(dc);
        const HGDIOBJ prima = ::SelectObject(sorgente, immagine);
        const int x = r.left + (r.right - r.left - b.bmWidth) / 2 + spostamento;
        const int y = r.top + (r.bottom - r.top - b.bmHeight) / 2 + spostamento;
        ::BitBlt(dc, x, y, b.bmWidth, b.bmHeight, sorgente, 0, 0, SRCCOPY);
        ::SelectObject(sorgente, prima);
        ::DeleteDC(sorgente);
    } else {
        wchar_t testo[64] {};
        ::GetWindowTextW(voce.hwndItem, testo, 64);
        const auto carattere = reinterpret_cast<HFONT>(::SendMessageW(voce.hwndItem, WM_GETFONT, 0, 0));
        const HGDIOBJ prima = carattere != nullptr ? ::SelectObject(dc, carattere) : nullptr;
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor((voce.itemState & ODS_DISABLED) != 0 ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
        RECT t = r;
        ::OffsetRect(&t, spostamento, spostamento);
        ::DrawTextW(dc, testo, -1, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (prima != nullptr)
            ::SelectObject(dc, prima);
    }
    // The focus outline, unless the user works with the mouse only and the
    // system hides it then.
    if ((voce.itemState & ODS_FOCUS) != 0 && (voce.itemState & ODS_NOFOCUSRECT) == 0) {
        const int margine = ::GetSystemMetrics(SM_CXEDGE) + 2;
        ::InflateRect(&r, -margine, -margine);
        ::DrawFocusRect(dc, &r);
    }
}

}  // namespace win32
