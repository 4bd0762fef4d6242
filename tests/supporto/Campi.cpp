#include "Campi.h"

std::vector<std::string_view> tuttiICampi(host::CampiTesto& campi)
{
    std::vector<std::string_view> tutti;
    while (!campi.fine())
        tutti.push_back(campi.prossimo());
    return tutti;
}

QList<QByteArray> campiInByte(host::CampiTesto& campi)
{
    QList<QByteArray> tutti;
    for (const std::string_view c : tuttiICampi(campi))
        tutti.append(QByteArray(c.data(), static_cast<qsizetype>(c.size())));
    return tutti;
}
