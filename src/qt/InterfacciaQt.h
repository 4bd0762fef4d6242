#pragma once

#include "passi/Interfaccia.h"

namespace qt {

// The run's front end on Qt Widgets: its messages are the program's message
// boxes, its waiting the busy cursor and the progress window (see Attesa.h).
class InterfacciaQt : public passi::Interfaccia {
public:
    void messaggio(std::string_view testo, passi::Icona icona) override;
    void attendi(std::string_view testo, const std::function<void()>& lavoro) override;
};

// The one the windows use.
InterfacciaQt& interfacciaQt();

}  // namespace qt
