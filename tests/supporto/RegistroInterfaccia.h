#pragma once

#include "passi/Interfaccia.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The run's front end without a window: it records each message and each
// waiting the run asks for, runs the work at once, and answers every
// message as a user dismissing it would.
class RegistroInterfaccia : public passi::Interfaccia {
public:
    struct Messaggio {
        std::string testo;
        passi::Icona icona;
    };
    std::vector<Messaggio> messaggi;
    std::vector<std::string> attese;
    std::function<void()> alMessaggio;  // called while each message shows

    void messaggio(std::string_view testo, passi::Icona icona) override
    {
        messaggi.push_back({std::string(testo), icona});
        if (alMessaggio)
            alMessaggio();
    }
    void attendi(std::string_view testo, const std::function<void()>& lavoro) override
    {
        attese.emplace_back(testo);
        lavoro();
    }
};
