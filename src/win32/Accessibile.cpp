// Names for screen readers through Windows' dynamic annotation service
// (oleacc), which the standard controls' accessible objects consult.
#include "Finestre.h"

#include <initguid.h>
#include <oleacc.h>

namespace win32 {

void nomeAccessibile(HWND controllo, const wchar_t* nome)
{
    IAccPropServices* servizi = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                  reinterpret_cast<void**>(&servizi))))
        return;
    servizi->SetHwndPropStr(controllo, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME, nome);
    servizi->Release();
}

}  // namespace win32
