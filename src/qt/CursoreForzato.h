#pragma once

#include <Qt>

namespace qt {

// Shows `forma` as the application's cursor for as long as it lives, over
// whatever cursor was set before; the earlier one comes back however the
// scope is left.
class CursoreForzato {
public:
    explicit CursoreForzato(Qt::CursorShape forma);
    ~CursoreForzato();
    CursoreForzato(const CursoreForzato&) = delete;
    CursoreForzato& operator=(const CursoreForzato&) = delete;
};

}  // namespace qt
