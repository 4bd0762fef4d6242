#include "Campi.h"

std::vector<std::string_view> tuttiICampi(testo::CampiTesto& campi)
{
    std::vector<std::string_view> tutti;
    while (!campi.fine())
        tutti.push_back(campi.prossimo());
    return tutti;
}

QList<QByteArray> campiInByte(testo::CampiTesto& campi)
{
    QList<QByteArray> tutti;
    for (const std::string_view c : tuttiICampi(campi))
        tutti.append(QByteArray(c.data(), static_cast<qsizetype>(c.size())));
    return tutti;
}
