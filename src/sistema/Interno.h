#pragma once

// What the part of this library shared by every system asks of the
// implementation for the system the build is for (posix/ or win32/).
#include <filesystem>
#include <string>

namespace sistema::interno {

// A path as the text of a message: its very bytes on Linux, UTF-8 on Windows.
std::string testoDelPercorso(const std::filesystem::path& percorso);

// The folder of the running executable.
std::filesystem::path cartellaEseguibile();

// `cartella` as the program shows it and joins names to: without "." and
// ".." steps or a trailing separator, except at a root, which keeps it.
std::filesystem::path pulito(const std::filesystem::path& cartella);

}  // namespace sistema::interno
