#include "Finestre.h"
#include "frmAmain.h"
#include "Messaggio.h"
#include "sistema/Processo.h"

#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int comeMostrare)
{
    sistema::preparaProcesso();
    const INITCOMMONCONTROLSEX controlli {sizeof(INITCOMMONCONTROLSEX),
                                          ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controlli);
    // For the screen readers' names of the controls.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    int uscita = 0;
    {
        win32::frmAmain finestra;
        if (finestra.finestra() == nullptr)
            win32::terminaPerErrore(sistema::ErroreRuntime(sistema::CodiceErrore::MemoriaEsaurita));
        finestra.mostra(comeMostrare);
        MSG m;
        while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
            // Tab, Space and Enter among the main window's controls.
            if (finestra.finestra() != nullptr && ::IsDialogMessageW(finestra.finestra(), &m))
                continue;
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
        uscita = static_cast<int>(m.wParam);
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return uscita;
}
