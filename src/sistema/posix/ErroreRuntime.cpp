#include "../Interno.h"

namespace sistema::interno {

// Linux names files in bytes, shown as they are.
std::string testoDelPercorso(const std::filesystem::path& percorso)
{
    return percorso.native();
}

}  // namespace sistema::interno
