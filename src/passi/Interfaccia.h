#pragma once

#include <functional>
#include <string_view>

namespace passi {

// The icon a message carries.
enum class Icona { Avviso, Errore };

// What the run needs of the front end that started it: a message the user
// dismisses, and the waiting around a long step. The front end supplies
// it; the run never shows anything itself.
class Interfaccia {
public:
    virtual ~Interfaccia() = default;

    // A modal message with the program's title, `icona` and one OK button
    // (`testo` in UTF-8); returns once the user has dismissed it.
    virtual void messaggio(std::string_view testo, Icona icona) = 0;

    // Runs `lavoro` while the user waits for it (`testo`, in UTF-8, says
    // what for, should it last long enough to be said); whatever `lavoro`
    // raises is raised here once it has ended.
    virtual void attendi(std::string_view testo, const std::function<void()>& lavoro) = 0;
};

}  // namespace passi
