#pragma once

#include "probe/audio_library.h"

namespace vellum {

// Binds the audio library's entry points by name: the eight of bass.dll if the
// host has it loaded (the plugin never loads it), and TAGS_Read from
// Plugins\bass\tags.dll beside the host executable (loaded, never freed).
// A missing tags.dll is reported once with a message box. Returns 1 when
// tags.dll was loaded, else 0.
int BindAudioLibraries(AudioLibrary& audio);

}  // namespace vellum
