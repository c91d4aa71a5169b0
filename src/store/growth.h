// Making room in a full table by moving every table behind it.
#ifndef BRELLOX_STORE_GROWTH_H_
#define BRELLOX_STORE_GROWTH_H_

#include <cstdint>

#include "src/store/config_file.h"
#include "src/store/format.h"

namespace brellox {

// Moves table `section` `delta` bytes towards the end of the session's file
// and raises its offset in the session's header (which is written when the
// session commits). The option-group table moves its `count` records; any
// other table is rewritten as `capacity` slots, the records in use followed
// by zero slots. The move and the zero-fill are changes of the session (no
// copy of the table is held), so the old and new places may overlap. On
// failure nothing is recorded and the offset is unchanged.
Status ShiftSection(ConfigSession& session, Section section,
                    std::int32_t delta);

// Makes room for `slots` more slots in `table` (not the option-group table)
// by shifting every later table `slots` × its record size, the last one
// first. Afterwards the caller writes the grown table, capacity + `slots`
// slots, at its unchanged offset, sets the capacity and writes the header.
//
// The moves are changes of the session, so nothing reaches the file before
// it commits: a failure part-way changes nothing. Refused when the grown
// file would pass 2 GiB, the limit of the format's 32-bit offsets.
Status GrowTable(ConfigSession& session, Section table, std::int32_t slots);

}  // namespace brellox

#endif  // BRELLOX_STORE_GROWTH_H_
