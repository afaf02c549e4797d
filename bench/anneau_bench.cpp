// Throughput of the ring and of whole runs, against the disk's own limit.
// Streams from the simulated box, unpaced, 1045 words per frame:
//   1. through the ring and the completion handler, recording off;
//   2. the same, recording to a data file;
//   3. a plain loop of 16 MiB fwrite calls to the same folder (the disk);
//   4. a whole fixed run (Start to restored window), recording, levels on;
// and the time of one level refresh pass beside the 80 ms of one packet at
// 50 000 Hz. Usage: anneau_bench [folder] [GiB per pass, default 4]

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/acquisition.h"
#include "acquisition/anneau.h"
#include "app/model/construction.h"
#include "app/model/principale.h"
#include "channels/canaux.h"
#include "channels/niveaux.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "device/parametres.h"
#include "files/fichier_donnees.h"
#include "simulator/simulated_box.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using Seconds = std::chrono::duration<double>;
auto now() { return std::chrono::steady_clock::now(); }

// Lets the disk write back what an earlier pass left in the page cache, so
// that each pass starts from the same state.
void settle()
{
#ifndef _WIN32
    ::sync();
#endif
}

class SilentOperator : public Operator {
public:
    void message_box(const std::string& t, const std::string&, Icon) override { std::fprintf(stderr, "%s\n", t.c_str()); }
    bool ask_yes_no(const std::string&, const std::string&, Icon) override { return true; }
    bool choose_save_file(const std::string&, std::string&) override { return false; }
    bool choose_open_file(const std::string&, std::string&) override { return false; }
    bool choose_folder(const std::string&, std::string&) override { return false; }
    void pump_events() override {}
};

void selection_1045(Principale& p)
{
    for (auto& beam : p.ctl.grid)
        for (auto& b : beam)
            b.checked = true;
    for (auto& b : p.ctl.grid_VA)
        b.checked = true;
    p.ctl.checkBox_CptA.checked = p.ctl.checkBox_CptB.checked = true;
    p.ctl.checkBox_CptC.checked = p.ctl.checkBox_CptD.checked = true;
    p.ctl.checkBox_Status.checked = true;
}

// Streams `frames` frames through the ring; MB/s.
double pass_ring(Principale& p, uint32_t frames, const std::string& data)
{
    p.record = !data.empty();
    if (p.record) {
        p.acqui_name = data;
        if (ouvre_fichiers(p) != 0)
            return 0;
    }
    envoie(p, CMD_CLOCK_DIVISION, {9});
    envoie(p, CMD_SAMPLE_COUNT, {static_cast<uint8_t>(frames), static_cast<uint8_t>(frames >> 8),
                                 static_cast<uint8_t>(frames >> 16), static_cast<uint8_t>(frames >> 24)});
    calcule_increments(p);
    if (alloue_anneau(p, 60000) != 0)
        return 0;
    soumet_anneau(p);
    auto t0 = now();
    envoie(p, CMD_START, {0});
    int rc = 0;
    while (rc == 0 && !p.anneau.fin_en_cours && transferts_en_vol(p) > 0)
        rc = p.usb.handle_events();
    while (rc == 0 && !p.anneau.fini && transferts_en_vol(p) > 0)
        rc = p.usb.handle_events();
    if (p.record)
        ferme_fichiers(p);
    double s = Seconds(now() - t0).count();
    libere_anneau(p);
    if (p.anneau.erreur_compteur || p.anneau.ntr != 4ull * p.nb_voies * frames)
        std::fprintf(stderr, "warning: stream of %llu bytes, counter error %d\n",
                     static_cast<unsigned long long>(p.anneau.ntr), p.anneau.erreur_compteur);
    return p.anneau.ntr / s / 1e6;
}

// The disk's own limit: 16 MiB fwrite calls from 32 distinct buffers, as
// the ring writes them.
double pass_fwrite(const std::string& path, uint64_t bytes)
{
    std::vector<std::vector<unsigned char>> blocks(NB_TRANSFERTS);
    for (int i = 0; i < NB_TRANSFERTS; ++i)
        blocks[i].assign(TAILLE_PAQUET, static_cast<unsigned char>(i));
    std::FILE* f = ouvre_fichier(path, "wb+");
    if (!f)
        return 0;
    auto t0 = now();
    uint64_t written = 0;
    for (int i = 0; written < bytes; i = (i + 1) % NB_TRANSFERTS)
        written += std::fwrite(blocks[i].data(), 1, TAILLE_PAQUET, f);
    std::fclose(f);
    return written / Seconds(now() - t0).count() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "bench-out";
    double gib = argc > 2 ? std::atof(argv[2]) : 4.0;
    fs::create_directories(folder);
    const uint64_t bytes = static_cast<uint64_t>(gib * 1073741824.0);
    const uint32_t frames = static_cast<uint32_t>(bytes / (4 * 1045) + 1);
    const std::string data = (folder / "bench.dat").string();

    sim::Options so;
    so.paced = false;
    sim::SimulatedBox box(so);
    SilentOperator op;
    SystemClock clock;
    Principale p(box, op, clock, Conventions::english());
    p.config_en_cours = (folder / "config_en_cours.txt").string();
    construction(p);
    selection_1045(p);
    if (init_USB(p) != 0)
        return 1;
    choix_micros(p, true);
    std::printf("frames of %d words, %.2f GiB per pass, folder %s\n", p.nb_voies, gib, folder.string().c_str());

    double off = pass_ring(p, frames, "");
    std::printf("ring, recording off      : %8.0f MB/s\n", off);
    settle();
    double disk1 = pass_fwrite(data, bytes);
    fs::remove(data);
    settle();
    double on = pass_ring(p, frames, data);
    std::printf("ring, recording on       : %8.0f MB/s\n", on);
    fs::remove(data);
    settle();
    double disk2 = pass_fwrite(data, bytes);
    fs::remove(data);
    settle();
    double disk = (disk1 + disk2) / 2;
    std::printf("plain 16 MiB fwrite loop : %8.0f MB/s (%.0f before, %.0f after)\n", disk, disk1, disk2);

    // A whole fixed run through the Start handler, levels refreshed.
    p.ctl.textBox_Rep.text = folder.string() + "/";
    p.ctl.textBox_Nom_Fich.text = "bench";
    button_Init_Click(p);
    selection_1045(p);
    p.ctl.listBox_Freq.top_index = 0;
    set_duree_maximum(p, duree_max_de(50000));
    set_duree(p, frames / 50000.0);
    auto t0 = now();
    button_Start_Click(p);
    double run_s = Seconds(now() - t0).count();
    // The main loop's own time, as the run reports it ("... Mo en 2.7 s"):
    // the handler's specified pauses (selection, frequency) are not streaming.
    double loop_s = run_s;
    auto at = p.pane.text.rfind(" Mo en ");
    if (at != std::string::npos)
        loop_s = std::atof(p.pane.text.c_str() + at + 7);
    double run = loop_s > 0 ? p.anneau.ntr / loop_s / 1e6 : 0;
    std::printf("whole run, levels on     : %8.0f MB/s in its main loop (%s; %.1f s from Start, pauses included)\n",
                run, p.fin_run == FIN_COMPLETE ? "complete" : "NOT complete", run_s);
    fs::remove(data);
    settle();
    fs::remove(folder / "bench.Ond");
    fs::remove(folder / "bench.log");

    // One level refresh pass over a full packet.
    alloue_anneau(p, 1000);
    for (int i = 0; i < 4; ++i)
        for (uint32_t w = 0; w < MOTS_PAQUET; ++w)
            reinterpret_cast<int32_t*>(p.anneau.buffers[i])[w] = static_cast<int32_t>((w * 2654435761u) >> 8) - (1 << 23);
    p.anneau.num_pkt = 2;
    p.anneau.paquet_complete = 1;
    p.anneau.slot_complete = 1;
    p.anneau.a_ecrire[1] = TAILLE_PAQUET;
    p.n_pkt = 100;
    p.stopped = false;
    const int repeats = 50;
    t0 = now();
    for (int i = 0; i < repeats; ++i)
        rafraichit_niveaux(p);
    double pass_ms = Seconds(now() - t0).count() * 1000 / repeats;
    libere_anneau(p);
    const double packet_ms = std::floor(TAILLE_PAQUET / (4.0 * 1045)) / 50.0;

    std::printf("\nbox's highest rate       : %8.0f MB/s (1045 words x 4 bytes x 50 000 frames/s)\n", 209.0);
    std::printf("ring off / highest rate  : %8.1f\n", off / 209.0);
    std::printf("ring on / fwrite loop    : %8.3f\n", disk > 0 ? on / disk : 0);
    std::printf("whole run / fwrite loop  : %8.3f\n", disk > 0 ? run / disk : 0);
    std::printf("level refresh pass       : %8.2f ms, %.1f %% of one packet (%.0f ms)\n", pass_ms,
                100 * pass_ms / packet_ms, packet_ms);
    return 0;
}
