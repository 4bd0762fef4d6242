#pragma once

#include <QString>

#include <cstdint>
#include <string_view>

namespace host {

// The platform's path separator, the one file names are split at.
QChar separatore();

// Removes leading and trailing space characters (only ' ', not tabs).
constexpr std::string_view togliSpazi(std::string_view s) noexcept
{
    const auto primo = s.find_first_not_of(' ');
    if (primo == std::string_view::npos)
        return s.substr(s.size());
    return s.substr(primo, s.find_last_not_of(' ') - primo + 1);
}

// Unicode-aware upper case: 'città.txt' gives 'CITTÀ.TXT'.
QString maiuscolo(const QString& s);

// An integer in decimal digits, a minus sign for negatives, no padding.
QString decimale(std::int64_t n);

// The last n characters of s (all of s when it is shorter).
QString ultimi(const QString& s, qsizetype n);

// `cartella` followed by `nome`, with exactly one separator between them.
QString unisciPercorso(const QString& cartella, const QString& nome);

}  // namespace host
