#pragma once
// The order in which a song's notes are written into a note stream: by tick,
// and at one tick the note-offs (velocity 0) before the note-ons, each group
// in key order.
#include <vector>
#include "player/module_writer.h"

void orderNoteEvents(std::vector<NoteEvent>& events);
