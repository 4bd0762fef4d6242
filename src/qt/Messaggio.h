#pragma once

#include <QString>

namespace qt {

// The title of every message box: the program's name.
inline constexpr char titoloApplicazione[] = "Fendrix";

enum class Icona { Avviso, Errore };

// A modal message box with the program's title, the icon and one OK button;
// returns once the user has dismissed it.
void mostraMessaggio(const QString& testo, Icona icona);

}  // namespace qt
