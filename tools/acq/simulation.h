// ondaris-acq's box: the simulated one when asked for (--simulateur and the
// --sim-* options), else the USB bus through libusb.
#pragma once

#include <memory>

#include "base/journal.h"
#include "device/usb.h"
#include "simulator/simulated_box.h"
#include "tools/acq/options.h"

namespace acq {

// The USB interface of the options into `usb`; `box` is the simulated box
// behind it, or nullptr. EXIT_OK, or EXIT_USAGE with the reason printed
// (a recording to replay that cannot be read).
int ouvre_usb(const Options& o, std::unique_ptr<usb::UsbApi>& usb, sim::SimulatedBox*& box);

// A replaying box tells its notices at Start through the journal.
void relie_rejeu(sim::SimulatedBox* box, const Journal& journal);

// What the simulated box differs in (faults, calibrator, replay), on stdout
// after the settings.
void affiche_simulation(const Options& o, const sim::SimulatedBox* box, const Conventions& conv);

} // namespace acq
