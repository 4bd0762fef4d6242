#pragma once

#include "sistema/Percorsi.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <filesystem>

namespace qt {

// Paths cross to the system as bytes, and a name on disk need not be valid
// UTF-8. In the windows a path is a string that keeps every byte: valid
// UTF-8 is decoded as usual, and each byte that is not part of a valid
// sequence stands as one character U+DC80..U+DCFF (0x80..0xFF), which no
// decoded text can hold. byteDiPercorso() gives the very bytes back, so a
// file listed can always be opened and a copy named by its real bytes.
QString percorsoDaByte(const QByteArray& byte);
QByteArray byteDiPercorso(const QString& percorso);

// The same, between the windows' strings and the system's paths: the one
// place where the front end converts them.
QString testoDiPercorso(const std::filesystem::path& percorso);
std::filesystem::path percorsoDiTesto(const QString& testo);

// `cartella` followed by `nome`, with exactly one separator between them.
QString unisciPercorso(const QString& cartella, const QString& nome);

// True when `percorso` holds bytes that are not valid UTF-8.
bool haByteGrezzi(const QString& percorso);

// What the user is shown for a path: each byte that is not valid UTF-8 as
// the replacement character U+FFFD.
QString testoVisibile(const QString& percorso);

}  // namespace qt
