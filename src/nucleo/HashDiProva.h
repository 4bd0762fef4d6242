#pragma once

// The tests' build of the core (fendrix_nucleo_prova, which the program
// never links) passes every item's hash through the choice made here. Two
// different items share their 64-bit hash in no file a test could make, so
// the paths taken only then (the full comparison of two long items, a probe
// past slots of other items, buckets whose hash set is one long chain,
// every item in one part) would otherwise never run: with a degenerate hash
// they run at every item, and the result must not change.
namespace nucleo::prova {

enum class Hash {
    vero,   // the real hash
    unico,  // one hash, all bits set, for every item: one part, one chain
            // from the table's last slot round to its first
    pochi,  // four hashes, spread over the parts and the table's slots
};

// The hash of the runs that start after the call.
void usaHash(Hash hash) noexcept;

}  // namespace nucleo::prova
