#pragma once

#include "Finestre.h"
#include "passi/Interfaccia.h"

namespace win32 {

// The run's messages and waiting, over the window that started it.
class InterfacciaWin : public passi::Interfaccia {
public:
    explicit InterfacciaWin(HWND finestra) : finestra_(finestra) {}
    void messaggio(std::string_view testo, passi::Icona icona) override;
    void attendi(std::string_view testo, const std::function<void()>& lavoro) override;

private:
    HWND finestra_;
};

}  // namespace win32
