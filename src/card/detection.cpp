// Init / OKCarte: is there a card answering at 0x280?
//
// The probe starts a conversion on channel 0 and waits for it. Where the
// library runs the port instructions itself (the 9x family) it takes a full
// reading, and so also reads the two data ports; on the driver path (the NT
// family) it only starts and waits, leaving the result unread on the card.
// Either way the card counts as present exactly when the conversion finishes
// within 0.1 s.
#include "card/detection.h"

#include "card/conversion.h"
#include "card/readings.h"
#include "morvanteportio.h"
#include "platform/platform.h"

#include <atomic>

namespace morvante::card {

namespace {

// Written by Init on one thread while others may read it. A relaxed atomic
// compiles to the same plain load and store on x86 as a bare int would.
std::atomic<int> carte_ok{0};

bool probe() {
    if (platform::backend.direct_io_allowed())
        return !is_no_reading(readad(0));
    start_conversion(0);
    return wait_conversion(0);
}

}  // namespace

bool card_present() {
    return carte_ok.load(std::memory_order_relaxed) != 0;
}

}  // namespace morvante::card

extern "C" {

int MORVANTEPORTIO_CALL Init(void) {
    const int found = morvante::card::probe() ? 1 : 0;
    morvante::card::carte_ok.store(found, std::memory_order_relaxed);
    return found;
}

int MORVANTEPORTIO_CALL OKCarte(void) {
    return morvante::card::carte_ok.load(std::memory_order_relaxed);
}

}  // extern "C"
