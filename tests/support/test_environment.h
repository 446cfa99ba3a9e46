#pragma once
// Changing the environment of a process whose threads read it.
//
// GLib, fontconfig, GTK's worker pool and the engine read variables on
// threads of their own at any time. glibc's setenv moves the whole variable
// list when it adds a name, and a thread reading the old list then reads
// freed memory: the window tests crashed so, rarely, just after a test began
// and set its first variable. A program whose threads are running therefore
// names up front every variable its tests change (ReserveTestEnvironment,
// before the first thread), and afterwards values only change in place.

#include <optional>
#include <string>

namespace nuve::test {

// Gives every variable the tests change a value now, one that means what
// its absence means (empty for NUVE's own, which read an empty value as
// unset; the documented default for the others). Call before any thread
// starts; from then on a change to a name not given here stops the test
// program with a message instead of racing.
void ReserveTestEnvironment();

// Sets `name` to `value` for this process and the programs it starts.
void SetTestEnvironment(const char* name, const std::string& value);

// Takes `name` away: once reserved, gives it back the value that means unset.
void ClearTestEnvironment(const char* name);

// The value of `name`, when it has one.
std::optional<std::string> TestEnvironment(const char* name);

// Puts `name` back to what `previous` (an earlier TestEnvironment) was.
void RestoreTestEnvironment(const char* name, const std::optional<std::string>& previous);

}  // namespace nuve::test
