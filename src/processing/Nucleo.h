#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The dedupe and sort core: the one place where items are compared. Items
// are byte strings compared in binary order (byte by byte as unsigned
// values, a proper prefix first), which for UTF-8 is code-point order. The
// core knows nothing of files or of the user interface, and it trusts
// nothing about its input: any bytes, any lengths, any number of items.
namespace nucleo {

// Keeps each distinct item of `righe` once, dropping the repeats, and
// returns how many are kept; `righe` ends holding exactly those items, in an
// unspecified order. Linear time on average.
std::int64_t tieniUniche(std::vector<std::string_view>& righe);

// Sorts the items in ascending binary order.
void ordina(std::span<std::string_view> righe);

}  // namespace nucleo
