#pragma once

#include <filesystem>
#include <vector>

namespace win32 {

// The folders from the root down to `cartella` (absolute, without "." and
// ".." steps), each as its full path with the name the folder list shows:
// the root first, as a drive ("C:\"), a network share ("\\server\share\",
// which is as far up as one can go there) or a long path's prefixed form
// ("\\?\C:\", "\\?\UNC\server\share\"), then each folder below it.
struct Anello {
    std::wstring nome;
    std::filesystem::path percorso;
};
std::vector<Anello> catenaCartelle(const std::filesystem::path& cartella);

}  // namespace win32
