#include "song/note_order.h"
#include <algorithm>

void orderNoteEvents(std::vector<NoteEvent>& events) {
    std::stable_sort(events.begin(), events.end(), [](const NoteEvent& a, const NoteEvent& b) {
        if (a.tick != b.tick) return a.tick < b.tick;
        const bool aOn = a.velocity != 0;
        const bool bOn = b.velocity != 0;
        if (aOn != bOn) return !aOn;
        return a.key < b.key;
    });
}
