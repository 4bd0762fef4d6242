#pragma once

#include "Finestre.h"
#include "frmSelezione.h"

#include <array>

namespace win32 {

// The main window: the banner, four caption lines and the picture button
// whose click is the program's one command: choose a file, then remove its
// repeats.
class frmAmain {
public:
    frmAmain();
    ~frmAmain();
    frmAmain(const frmAmain&) = delete;
    frmAmain& operator=(const frmAmain&) = delete;

    void mostra(int comeMostrare);
    HWND finestra() const { return h_; }

private:
    static LRESULT CALLBACK procedura(HWND h, UINT messaggio, WPARAM w, LPARAM l);
    LRESULT gestisci(UINT messaggio, WPARAM w, LPARAM l);
    void crea();
    void disponi(UINT dpi);
    void liberaDisegni();

    void Form_Load();
    void cmdDuplicate_Click();

    HWND h_ = nullptr;
    HWND cmdDuplicate = nullptr;
    HWND Image1 = nullptr;
    std::array<HWND, 4> Label1 {};
    HFONT carattere_ = nullptr;
    HFONT didascalie_ = nullptr;
    HBITMAP cartella_ = nullptr;
    HBITMAP banner_ = nullptr;
    frmSelezione selezione_;
};

}  // namespace win32
