#include "probe/probe_info.h"

#include <cstring>

ProbeInfo g_probeInfo;

void CopyTextToSlot(const char* text, size_t length, char* slot, size_t slotBytes) {
    if (slotBytes == 0) {
        return;
    }
    size_t keep = length < slotBytes - 1 ? length : slotBytes - 1;
    if (keep < length) {
        // Cut before a UTF-8 continuation byte so no character is left half-written.
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) {
            --keep;
        }
    }
    std::memcpy(slot, text, keep);
    slot[keep] = '\0';
}
