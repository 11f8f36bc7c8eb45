// The native stack that script execution runs on.
//
// Script routines may recurse deeply (a flood fill over a 30x30 board goes 900 calls down),
// and every script call level costs a chain of native frames (statement, expression and call
// functions). The interpreter bounds its depth by counts (TPasCalc::kMaxCallDepth and
// kMaxNesting) and, beside them, checks the native stack it actually runs on, so no script can
// overflow it: past either bound the run fails with an ordinary script error.
//
// Programs that run game scripts give them a stack that holds the counted bounds by running
// their work on a thread made by RunWithScriptStack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kq::script {

// Stack size of the threads that run scripts. The deepest counted script (kMaxCallDepth routine
// calls) needs well under a quarter of it, also in sanitizer builds whose frames are larger;
// pages are only committed as they are used.
inline constexpr size_t kScriptStackBytes = size_t{256} << 20;

// Stack kept free below the interpreter's last check for the work done between two checks
// (a native function, the parsing of one primary ...).
inline constexpr size_t kScriptStackReserve = size_t{1} << 20;

// Runs body on a new thread whose stack holds kScriptStackBytes and waits for it to end; the
// result is body's. When no such thread can be made, body runs on the calling thread (the
// interpreter's stack check still keeps scripts from overflowing it).
int RunWithScriptStack(const std::function<int()>& body);

// The lowest stack address the calling thread may use while keeping `reserve` bytes free: the
// interpreter stops going deeper below it. 0 when the thread's stack cannot be known.
uintptr_t ScriptStackFloor(size_t reserve = kScriptStackReserve);

} // namespace kq::script
