// Looks at another program's windows from outside, as a user would see
// them, for the scripts that drive fendrix.exe with real clicks and keys.
// Run in the same Wine prefix (or Windows session) as the program.
//
//   finestre attendi TITOLO [SECONDI]    waits for a visible top-level window
//   finestre assente TITOLO [SECONDI]    waits until no such window is left
//   finestre messaggio TITOLO            a message box: its icon (errore,
//                                        avviso or ignota), then its text
//   finestre controllo TITOLO ID         abilitato|disabilitato, TAB, its text
//   finestre rettangolo TITOLO           client area in screen pixels: X Y W H DPI
//   finestre rettangolo TITOLO ID        a control's box in screen pixels: X Y W H
//   finestre proprietario TITOLO         the owner's title, or nothing
//   finestre voci TITOLO ID              a list view's items, one a line
//   finestre voce TITOLO ID TESTO        that item's label on screen: X Y W H
//
// Exit status 0 on success, 1 when the window, control or item is not
// there, 2 for a bad command line. Text is printed in UTF-8.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void stampa(const std::wstring& t)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, t.data(), static_cast<int>(t.size()), nullptr, 0, nullptr, nullptr);
    std::string u(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, t.data(), static_cast<int>(t.size()), u.data(), n, nullptr, nullptr);
    u += '\n';
    DWORD scritti = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), u.data(), static_cast<DWORD>(u.size()), &scritti, nullptr);
}

// The text through WM_GETTEXT, which the system carries across processes.
std::wstring testoDi(HWND h)
{
    DWORD_PTR n = 0;
    if (!::SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &n))
        return L"";
    std::wstring t(n + 1, L'\0');
    DWORD_PTR letti = 0;
    ::SendMessageTimeoutW(h, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(t.data()), SMTO_ABORTIFHUNG, 5000, &letti);
    t.resize(letti);
    return t;
}

HWND cerca(const std::wstring& titolo)
{
    struct Ricerca { const std::wstring* titolo; HWND trovata; } r {&titolo, nullptr};
    ::EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* r = reinterpret_cast<Ricerca*>(p);
            wchar_t t[512] {};
            ::GetWindowTextW(h, t, 512);
            if (::IsWindowVisible(h) && *r->titolo == t) {
                r->trovata = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&r));
    return r.trovata;
}

HWND attendi(const std::wstring& titolo, double secondi)
{
    for (ULONGLONG fine = ::GetTickCount64() + static_cast<ULONGLONG>(secondi * 1000);;) {
        if (HWND h = cerca(titolo))
            return h;
        if (::GetTickCount64() >= fine)
            return nullptr;
        ::Sleep(50);
    }
}

void stampaRettangolo(HWND riferimento, RECT r, bool conDpi)
{
    ::MapWindowPoints(riferimento, nullptr, reinterpret_cast<POINT*>(&r), 2);
    wchar_t riga[96];
    std::swprintf(riga, 96, L"%ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::wstring t = riga;
    if (conDpi)
        t += L" " + std::to_wstring(::GetDpiForWindow(riferimento));
    stampa(t);
}

// Which icon a message box shows: its handle where the system shares the
// standard icons between processes (Windows), else the colour it draws on
// screen: red for the stop sign, yellow to orange for the warning triangle.
std::wstring icona(HWND statico)
{
    const auto h = reinterpret_cast<HICON>(::SendMessageW(statico, STM_GETICON, 0, 0));
    if (h != nullptr && h == ::LoadIconW(nullptr, IDI_ERROR))
        return L"errore";
    if (h != nullptr && h == ::LoadIconW(nullptr, IDI_WARNING))
        return L"avviso";
    RECT r {};
    ::GetClientRect(statico, &r);
    ::MapWindowPoints(statico, nullptr, reinterpret_cast<POINT*>(&r), 2);
    HDC schermo = ::GetDC(nullptr);
    int rossi = 0, gialli = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x) {
            const COLORREF c = ::GetPixel(schermo, x, y);
            const int R = GetRValue(c), G = GetGValue(c), B = GetBValue(c);
            if (R > 150 && G < 90 && B < 90)
                ++rossi;
            else if (R > 180 && G >= 100 && B < 100)
                ++gialli;
        }
    ::ReleaseDC(nullptr, schermo);
    const int area = (r.right - r.left) * (r.bottom - r.top);
    if (rossi > area / 20 && rossi > 4 * gialli)
        return L"errore";
    if (gialli > area / 20 && gialli > 4 * rossi)
        return L"avviso";
    return L"ignota";
}

// A list view of another process answers only with memory of its own:
// the item and its buffers are written into that process and read back.
class MemoriaAltrui {
public:
    MemoriaAltrui(HWND h, SIZE_T n)
    {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        processo_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (processo_)
            base_ = static_cast<char*>(::VirtualAllocEx(processo_, nullptr, n, MEM_COMMIT, PAGE_READWRITE));
    }
    ~MemoriaAltrui()
    {
        if (base_)
            ::VirtualFreeEx(processo_, base_, 0, MEM_RELEASE);
        if (processo_)
            ::CloseHandle(processo_);
    }
    MemoriaAltrui(const MemoriaAltrui&) = delete;
    MemoriaAltrui& operator=(const MemoriaAltrui&) = delete;
    bool valida() const { return base_ != nullptr; }
    char* at(SIZE_T scarto) const { return base_ + scarto; }
    void scrivi(SIZE_T scarto, const void* d, SIZE_T n) const { ::WriteProcessMemory(processo_, at(scarto), d, n, nullptr); }
    void leggi(SIZE_T scarto, void* d, SIZE_T n) const { ::ReadProcessMemory(processo_, at(scarto), d, n, nullptr); }

private:
    HANDLE processo_ = nullptr;
    char* base_ = nullptr;
};

std::vector<std::wstring> voci(HWND lista, const MemoriaAltrui& m)
{
    constexpr int massimo = 1024;  // characters of one item
    std::vector<std::wstring> v;
    const auto n = static_cast<int>(::SendMessageW(lista, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        LVITEMW voce {};
        voce.iSubItem = 0;
        voce.cchTextMax = massimo;
        voce.pszText = reinterpret_cast<wchar_t*>(m.at(sizeof voce));
        m.scrivi(0, &voce, sizeof voce);
        const auto lunghezza = static_cast<std::size_t>(::SendMessageW(lista, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(m.at(0))));
        std::wstring t(lunghezza, L'\0');
        m.leggi(sizeof voce, t.data(), lunghezza * sizeof(wchar_t));
        v.push_back(t);
    }
    return v;
}

int comando(const std::vector<std::wstring>& a)
{
    const std::wstring& cosa = a[0];
    if (cosa == L"assente") {
        const double secondi = a.size() > 2 ? std::wcstod(a[2].c_str(), nullptr) : 10;
        for (ULONGLONG fine = ::GetTickCount64() + static_cast<ULONGLONG>(secondi * 1000); cerca(a[1]); ::Sleep(50))
            if (::GetTickCount64() >= fine)
                return 1;
        return 0;
    }
    HWND finestra = attendi(a[1], cosa == L"attendi" && a.size() > 2 ? std::wcstod(a[2].c_str(), nullptr) : 10);
    if (finestra == nullptr)
        return 1;
    if (cosa == L"attendi")
        return 0;
    if (cosa == L"proprietario") {
        if (HWND p = ::GetWindow(finestra, GW_OWNER))
            stampa(testoDi(p));
        return 0;
    }
    if (cosa == L"messaggio") {
        std::wstring testo, figura = L"ignota";
        for (HWND h = ::GetWindow(finestra, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
            wchar_t classe[32] {};
            ::GetClassNameW(h, classe, 32);
            if (std::wcscmp(classe, L"Static") != 0)
                continue;
            if ((::GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                figura = icona(h);
            else if (testo.empty())
                testo = testoDi(h);
        }
        stampa(figura);
        stampa(testo);
        return 0;
    }
    if (cosa == L"rettangolo" && a.size() == 2) {
        RECT r {};
        ::GetClientRect(finestra, &r);
        stampaRettangolo(finestra, r, true);
        return 0;
    }
    if (a.size() < 3)
        return 2;
    HWND controllo = ::GetDlgItem(finestra, std::wcstol(a[2].c_str(), nullptr, 10));
    if (controllo == nullptr)
        return 1;
    if (cosa == L"controllo") {
        stampa((::IsWindowEnabled(controllo) ? L"abilitato\t" : L"disabilitato\t") + testoDi(controllo));
        return 0;
    }
    if (cosa == L"rettangolo") {  // a control's whole box, borders included
        RECT r {};
        ::GetWindowRect(controllo, &r);
        stampaRettangolo(nullptr, r, false);
        return 0;
    }
    MemoriaAltrui m(controllo, 4096 + sizeof(LVITEMW) + sizeof(RECT));
    if (!m.valida())
        return 1;
    const std::vector<std::wstring> elenco = voci(controllo, m);
    if (cosa == L"voci") {
        for (const std::wstring& t : elenco)
            stampa(t);
        return 0;
    }
    if (cosa == L"voce" && a.size() == 4)
        for (std::size_t i = 0; i < elenco.size(); ++i)
            if (elenco[i] == a[3]) {
                RECT r {LVIR_LABEL, 0, 0, 0};  // where its text is: a click there selects it
                m.scrivi(0, &r, sizeof r);
                ::SendMessageW(controllo, LVM_ENSUREVISIBLE, i, FALSE);
                if (!::SendMessageW(controllo, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(m.at(0))))
                    return 1;
                m.leggi(0, &r, sizeof r);
                stampaRettangolo(controllo, r, false);
                return 0;
            }
    return cosa == L"voce" ? 1 : 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Real pixels, as the X server that the clicks go to counts them.
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (argc < 3) {
        std::fputs("usage: finestre attendi|assente|messaggio|controllo|rettangolo|proprietario|voci|voce TITOLO [ID] [TESTO]\n",
                   stderr);
        return 2;
    }
    return comando(std::vector<std::wstring>(argv + 1, argv + argc));
}
