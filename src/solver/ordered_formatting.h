// Formatting a long run of solutions on two threads, handed over in order.
//
// format_in_order cuts the solutions at positions [first, first + count) of
// a list, in result order, into segments of `segment_solutions`, formats
// each segment with a SolutionFormatter of its own on the calling thread
// and, when allowed and possible, on a helper thread too, and hands the
// texts to `emit` on the calling thread, in order: while the caller writes
// one segment out, the helper formats the next.
//
// Invariants: the pieces given to `emit`, joined, are exactly what one
// SolutionFormatter over the whole run gives (for JSON, one array with its
// brackets). No segment is formatted more than kSegmentsAhead ahead of the
// one being emitted, so memory is bounded by that many segments of text
// whatever the count. `emit` runs only on the calling thread; when it
// returns false nothing more is emitted or formatted, and the helper stops
// after the segment it is on. An exception on either thread stops both and
// reaches the caller.
//
// Cost: as one formatter over the run, shared by two cores, plus building
// each segment's word forms (a few microseconds per candidate word).
//
// Tested by tests/cpp/solver/ordered_formatting_test.cc.

#ifndef VORPALYX_SOLVER_ORDERED_FORMATTING_H_
#define VORPALYX_SOLVER_ORDERED_FORMATTING_H_

#include <cstddef>
#include <functional>
#include <string_view>

#include "solver/solution_list.h"
#include "solver/solution_text.h"

namespace vorpalyx {

inline constexpr std::size_t kSegmentsAhead = 2;

// True when every segment was emitted; false when `emit` returned false.
bool format_in_order(const SolutionList& list, SolutionFormat format,
                     std::size_t first, std::size_t count,
                     std::size_t segment_solutions, bool use_second_thread,
                     const std::function<bool(std::string_view)>& emit);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_ORDERED_FORMATTING_H_
