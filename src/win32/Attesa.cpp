#include "Attesa.h"

#include <commctrl.h>

#include <exception>
#include <memory>
#include <thread>

namespace win32 {

namespace {

constexpr DWORD ritardo = 1000;  // ms before the progress window shows
constexpr wchar_t classeAvanzamento[] = L"FendrixAttesa";

LRESULT CALLBACK proceduraAvanzamento(HWND h, UINT messaggio, WPARAM w, LPARAM l)
{
    switch (messaggio) {
    case WM_CTLCOLORSTATIC:
        ::SetBkColor(reinterpret_cast<HDC>(w), bianco);
        return reinterpret_cast<LRESULT>(pennelloBianco());
    case WM_SETCURSOR:
        if (cursoreOccupato())
            return TRUE;
        break;
    case WM_CLOSE:
        return 0;  // ends with the run, never before
    default:
        break;
    }
    return ::DefWindowProcW(h, messaggio, w, l);
}

// The progress window: the text and a moving bar, centred on `finestra`,
// owned by it so it stays above it and out of the taskbar.
struct Avanzamento {
    HWND h = nullptr;
    HFONT carattere = nullptr;

    Avanzamento(HWND finestra, const std::wstring& testo)
    {
        static const bool registrata = [] {
            WNDCLASSEXW c {};
            c.cbSize = sizeof c;
            c.lpfnWndProc = proceduraAvanzamento;
            c.hInstance = modulo();
            c.hCursor = ::LoadCursorW(nullptr, IDC_WAIT);
            c.hbrBackground = pennelloBianco();
            c.lpszClassName = classeAvanzamento;
            return ::RegisterClassExW(&c) != 0;
        }();
        if (!registrata)
            return;
        h = ::CreateWindowExW(WS_EX_DLGMODALFRAME, classeAvanzamento, L"Fendrix", WS_POPUP | WS_CAPTION, 0, 0, 100,
                              100, finestra, nullptr, modulo(), nullptr);
        if (h == nullptr)
            return;
        const UINT dpi = dpiDi(h);
        impostaIcona(h, dpi);
        carattere = creaCarattere(L"Segoe UI", 9, FW_NORMAL, false, dpi);
        const HWND scritta = ::CreateWindowExW(0, L"STATIC", testo.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                               pixel(300, dpi), pixel(300, dpi), pixel(5400, dpi), pixel(360, dpi), h,
                                               nullptr, modulo(), nullptr);
        ::SendMessageW(scritta, WM_SETFONT, reinterpret_cast<WPARAM>(carattere), FALSE);
        const HWND barra = ::CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_MARQUEE,
                                             pixel(300, dpi), pixel(780, dpi), pixel(5400, dpi), pixel(270, dpi), h,
                                             nullptr, modulo(), nullptr);
        ::SendMessageW(barra, PBM_SETMARQUEE, TRUE, 30);
        dimensionaClient(h, 6000, 1350, dpi);
        centraSulloSchermo(h, finestra);
        ::ShowWindow(h, SW_SHOWNORMAL);
        ::UpdateWindow(h);
    }
    ~Avanzamento()
    {
        if (h != nullptr)
            ::DestroyWindow(h);
        if (carattere != nullptr)
            ::DeleteObject(carattere);
    }
    Avanzamento(const Avanzamento&) = delete;
    Avanzamento& operator=(const Avanzamento&) = delete;
};

// While it lives the windows show the busy cursor and `finestra` takes no
// input; afterwards both are as they were, however the wait ends.
struct Blocco {
    HWND finestra;
    HWND fuoco;
    bool eraAbilitata;
    bool eraOccupato;

    explicit Blocco(HWND f)
        : finestra(f), fuoco(::GetFocus()), eraAbilitata(f != nullptr && ::IsWindowEnabled(f)), eraOccupato(occupato)
    {
        occupato = true;
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        if (eraAbilitata)
            ::EnableWindow(finestra, FALSE);
    }
    ~Blocco()
    {
        occupato = eraOccupato;
        if (eraAbilitata)
            ::EnableWindow(finestra, TRUE);
        if (fuoco != nullptr && ::IsWindow(fuoco))
            ::SetFocus(fuoco);
        aggiornaCursore();
    }
    Blocco(const Blocco&) = delete;
    Blocco& operator=(const Blocco&) = delete;
};

}  // namespace

void attendi(HWND finestra, std::string_view testo, const std::function<void()>& lavoro)
{
    std::exception_ptr errore;
    const HANDLE fatto = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (fatto == nullptr)
        throw std::bad_alloc();
    // Outlives the block: it goes once the window is enabled again, so that
    // Windows gives the activation back to that window, not to another
    // program's.
    std::unique_ptr<Avanzamento> avanzamento;
    bool uscita = false;
    int codiceUscita = 0;
    {
        const Blocco blocco(finestra);
        // Joined when the block ends.
        std::jthread lavoratore([&] {
            try {
                lavoro();
            } catch (...) {
                errore = std::current_exception();
            }
            ::SetEvent(fatto);
        });
        const ULONGLONG inizio = ::GetTickCount64();
        for (;;) {
            DWORD attesa = INFINITE;
            if (!avanzamento) {
                const ULONGLONG passati = ::GetTickCount64() - inizio;
                attesa = passati >= ritardo ? 0 : static_cast<DWORD>(ritardo - passati);
            }
            const DWORD r = ::MsgWaitForMultipleObjectsEx(1, &fatto, attesa, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (r == WAIT_OBJECT_0)
                break;
            if (r == WAIT_TIMEOUT && !avanzamento) {
                avanzamento = std::make_unique<Avanzamento>(finestra, daUtf8(testo));
                continue;
            }
            MSG m;
            while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (m.message == WM_QUIT) {
                    // Kept for the main loop, once the run is over.
                    uscita = true;
                    codiceUscita = static_cast<int>(m.wParam);
                    continue;
                }
                ::TranslateMessage(&m);
                ::DispatchMessageW(&m);
            }
        }
    }
    avanzamento.reset();
    ::CloseHandle(fatto);
    if (uscita)
        ::PostQuitMessage(codiceUscita);
    if (errore)
        std::rethrow_exception(errore);
}

}  // namespace win32
