// The threads of the load harness. Each runs until world.stop is set and
// reports every broken expectation to world.failures.
#pragma once

#include "load_world.h"

namespace vellum::load {

// Play starts (RegisterFile with the playing channel, in a transaction, as the
// play-start handler does) and, for three plays in four, the end-of-play
// update (CreditCompletedPlay in a transaction, as the sync callback does).
void RunAudio(World& world, unsigned seed);
// Another plugin: AddFile, GetRecord and RemoveFile on the tracks it owns,
// GetRecord and refreshing AddFile on played tracks.
void RunPluginCalls(World& world, int index);
// Batch add (the batched tracks and a third of the played ones) and batch
// remove (the batched tracks) in turn, through the batch worker with a sink.
// Always ends after a remove.
void RunBatches(World& world);
// Another program on the same file: a connection of its own that takes a read
// lock (a stepped statement) or the write lock ("BEGIN IMMEDIATE") at random,
// holding each for up to 3 s, with short gaps between.
void RunForeignLocks(World& world);
// Listeners added and removed, null and unknown ones included.
void RunListenerChurn(World& world);
// The host window's messages fanned out to the listeners.
void RunFanOut(World& world);

// A listener present for the whole run; it must hear every fan-out.
void AttachPermanentListener();
long DetachPermanentListener();

}  // namespace vellum::load
