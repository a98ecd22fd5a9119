// The card-present flag, set by the last probe.
#pragma once

namespace morvante::card {

// True when the last Init found the card. False before any Init.
bool card_present();

}  // namespace morvante::card
