// Names for screen readers through Windows' dynamic annotation service
// (oleacc), which the standard controls' accessible objects consult.
#include "Finestre.h"

#include <initguid.h>
#include <oleacc.h>

namespace win32 {

namespace {

IAccPropServices* servizi()
{
    IAccPropServices* s = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                  reinterpret_cast<void**>(&s))))
        return nullptr;
    return s;
}

}  // namespace

void nomeAccessibile(HWND controllo, const wchar_t* nome)
{
    if (IAccPropServices* s = servizi()) {
        s->SetHwndPropStr(controllo, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME, nome);
        s->Release();
    }
}

void togliNomeAccessibile(HWND controllo)
{
    if (IAccPropServices* s = servizi()) {
        MSAAPROPID nome = PROPID_ACC_NAME;
        s->ClearHwndProps(controllo, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &nome, 1);
        s->Release();
    }
}

}  // namespace win32
