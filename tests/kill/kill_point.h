// A kill at a chosen step of a process's file traffic: a SQLite VFS over the
// default one that counts the writes, truncations, syncs and deletions its
// files see, and kills the process with SIGKILL at the step chosen.
//
// A kill timed by the clock mostly lands while the process sleeps or waits for
// a lock; one timed by the file traffic lands between any two steps of a
// commit as often as anywhere else, so the narrow windows (after a commit,
// before the clean-up that follows it) are reached too.
#pragma once

namespace vellum::kill_point {

enum class Count {
    // Every write, truncation, sync and deletion; the kill comes before the
    // chosen one runs.
    Steps,
    // Commits of rollback-journal files (the journal's deletion); the kill
    // comes right after the chosen one, before anything the committer does
    // next.
    Commits,
};

// Makes the counting VFS the default, for connections opened from now on,
// with the kill at the `nth` (1 is the first) of what `count` counts. Call
// once, in a process about to be killed anyway.
void Arm(Count count, long nth);
// The name of the VFS under it, for a connection whose steps should not count.
const char* PlainVfsName();

}  // namespace vellum::kill_point
