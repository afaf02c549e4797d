#include "tools/acq/simulation.h"

#include <cstdio>
#include <string>

#include "device/usb_libusb.h"
#include "simulator/replay.h"

namespace acq {

int ouvre_usb(const Options& o, std::unique_ptr<usb::UsbApi>& usb, sim::SimulatedBox*& box)
{
    box = nullptr;
    if (!o.simulateur) {
        usb = std::make_unique<LibusbApi>();
        return EXIT_OK;
    }
    sim::Options so;
    so.paced = o.sim_temps_reel;
    so.trigger_delay_ms = o.sim_declenchement_ms;
    so.control_delay_ms = o.sim_lenteur_ms;
    if (o.sim_ton_hz >= 0)
        so.scene.tone_hz = o.sim_ton_hz;
    if (o.sim_amplitude >= 0)
        so.scene.tone_amplitude = o.sim_amplitude;
    if (o.sim_bruit >= 0)
        so.scene.noise_rms = o.sim_bruit;
    if (o.sim_faisceau >= 0) {
        so.scene.source_beam = o.sim_faisceau;
        so.scene.source_row = o.sim_rangee;
    }
    so.scene.faults = o.sim_defauts;
    so.scene.calibrator = o.sim_calibreur;
    if (o.sim_ecart_db >= 0)
        so.scene.sensitivity_spread_db = o.sim_ecart_db;
    if (!o.sim_rejoue.empty()) {
        auto rejeu = std::make_shared<sim::Recording>();
        const std::string refus = sim::load_recording(o.sim_rejoue, *rejeu);
        if (!refus.empty()) {
            std::fprintf(stderr, "ondaris-acq : %s\n", refus.c_str());
            return EXIT_USAGE;
        }
        so.replay = rejeu;
    }
    so.scene.geometry = o.sim_geometrie;
    so.scene.points = o.sim_points;
    auto b = std::make_unique<sim::SimulatedBox>(so);
    box = b.get();
    usb = std::move(b);
    return EXIT_OK;
}

void relie_rejeu(sim::SimulatedBox* box, const Journal& journal)
{
    if (!box || !box->options().replay)
        return;
    sim::Options so = box->options();
    so.notice = [&journal](const std::string& text) { journal.call_verb(text); };
    box->set_options(so);
}

void affiche_simulation(const Options& o, const sim::SimulatedBox* box, const Conventions& conv)
{
    if (!o.sim_defauts.empty())
        std::printf("  Boîtier simulé, micros défaillants : %s\n", sim::faults_text(o.sim_defauts).c_str());
    if (o.sim_calibreur.microphone >= 0)
        std::fputs(compose(conv, "  Boîtier simulé, calibreur : {0:N1} dB SPL à 1 kHz sur le micro {1:G}\n",
                           {o.sim_calibreur.level_db, o.sim_calibreur.microphone})
                       .c_str(),
                   stdout);
    if (const auto rejeu = box ? box->options().replay : nullptr) {
        std::printf("  Boîtier simulé, %s\n", sim::recording_summary(*rejeu).c_str());
        for (const std::string& r : rejeu->remarks)
            std::printf("    %s\n", r.c_str());
    }
}

} // namespace acq
