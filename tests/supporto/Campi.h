#pragma once

#include "testo/CampiTesto.h"

#include <QByteArray>
#include <QList>

#include <string_view>
#include <vector>

// Every field left in `campi`, in order, empty ones included: views into
// the text or into the scanner's own storage.
std::vector<std::string_view> tuttiICampi(testo::CampiTesto& campi);

// The same, as bytes of their own.
QList<QByteArray> campiInByte(testo::CampiTesto& campi);
