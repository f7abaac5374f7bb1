#pragma once

// Exit statuses of brenvikctl, and the result codes its parts return on the way there.

namespace brenvikctl::exit_code {

inline constexpr int kOk = 0;
// A move or trajectory that ended without reaching its goal (stopped, refused, aborted, timed out),
// or a flag that did not change.
inline constexpr int kNotReached = 1;
// Wrong arguments: unknown command or option, wrong count, a value that is not a number or is out
// of range.
inline constexpr int kUsage = 2;
// No controller on the ROS domain: no status sample or no subscriber within the discovery time.
inline constexpr int kNoController = 3;
// A file that cannot be read or written, or a line in it that is not valid.
inline constexpr int kFile = 4;
// An outside program (gnuplot) failed.
inline constexpr int kExternal = 5;
// Ended by Ctrl-C (after canceling what it had started).
inline constexpr int kInterrupted = 130;

}  // namespace brenvikctl::exit_code
