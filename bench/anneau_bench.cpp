// Figures of the logic against its limits, from the simulated box with 1045
// words per frame, in one run:
//   1. the ring and its completion handler, unpaced, recording off, beside
//      the box's highest rate (209 MB/s);
//   2. whole recorded runs from the Start button, unpaced, each against a
//      plain loop of 16 MiB fwrite calls to the same folder right after it,
//      both timed to the end of an fsync of their file: the median ratio of
//      the pairs, with the first run's time outside its fwrite calls and the
//      box's copying time;
//   3. one level refresh pass beside the 80 ms of one packet at 50 000 Hz;
//   4. runs paced at 50 000 Hz with levels on, recording, stopped by an
//      operator's click (as many as the pairs of 2): CPU time of the
//      logic's thread and of the writer's calls to the disk, the longest
//      gap between two pumps of the window's events, the delay from the
//      click to Stop acting and to the window being idle again; after each,
//      a plain loop of 16 MiB fwrite calls paced as the box for as long,
//      its thread's CPU, and the run thread's CPU as a ratio to it (the
//      median of the runs at the end).
// The live health check (the analysis window open) on the runs of 2 and 4:
// "off" (default), "on", or "both": each pair then holds a run without it
// and a run with it, in turn first, each followed by its own fwrite pass,
// so the two medians come from the same stretch of time. With the health
// check, the packets it left out and the frames it checked follow each run.
// Usage: anneau_bench [folder] [GiB per disk pass, default 2] [paced s, default 6] [pairs, default 5]
//                     [health check: off|on|both, default off]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/model/acquisition.h"
#include "acquisition/anneau.h"
#include "acquisition/run.h"
#include "channels/niveaux.h"
#include "channels/selection.h"
#include "app/model/affiche_niveaux.h"
#include "app/model/choix_micros.h"
#include "app/model/construction.h"
#include "app/model/principale.h"
#include "app/model/init.h"
#include "app/model/instrument.h"
#include "acquisition/presence.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "files/fichier_donnees.h"
#include "base/plateforme.h"
#include "simulator/simulated_box.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using Horloge = std::chrono::steady_clock;
double secondes(Horloge::time_point a, Horloge::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Lets the disk write back what an earlier pass left in the page cache,
// then waits `repos` seconds. A virtual machine hands freed memory back to
// its host within seconds, and the next writer pays to fault it in again:
// how fast fwrite fills the page cache depends on how long ago the memory
// was freed (here 0.3 s for 2 GiB right after a removal, 1 to 2.5 s four
// seconds later). Each timed side starts its writes the same time after
// the sync.
void settle(double repos)
{
#ifndef _WIN32
    ::sync();
#endif
    std::this_thread::sleep_for(std::chrono::duration<double>(repos));
}

// Forces a file's data to the disk.
void synchronise(std::FILE* f)
{
    std::fflush(f);
#ifdef _WIN32
    _commit(_fileno(f));
#else
    ::fsync(fileno(f));
#endif
}

void synchronise(const std::string& path)
{
    if (std::FILE* f = ouvre_fichier(path, "rb+")) {
        synchronise(f);
        std::fclose(f);
    }
}

// A headless operator: answers Yes, and at every pump records the time and
// acts on a click made from another thread, as a window would.
class Operateur : public Operator {
public:
    Principale* p = nullptr;
    std::atomic<bool> clic{false};
    Horloge::time_point t_clic{}, t_stop{};
    std::vector<Horloge::time_point> pompes; // of the main loop
    std::vector<Horloge::time_point> toutes; // of the whole handler
    std::atomic<size_t> n_boucle{0};         // pumps of the main loop, for the clicking thread
    double cpu_debut = -1;                   // thread CPU time at the first pump of the main loop
    std::atomic<bool> enregistre{false};

    void message_box(const std::string& t, const std::string&, Icon) override
    {
        std::fprintf(stderr, "%s\n", t.c_str());
    }
    bool ask_yes_no(const std::string&, const std::string&, Icon) override { return true; }
    bool choose_save_file(const std::string&, std::string&) override { return false; }
    bool choose_open_file(const std::string&, std::string&) override { return false; }
    bool choose_folder(const std::string&, std::string&) override { return false; }
    void pump_events() override
    {
        const auto t = Horloge::now();
        if (!enregistre || !p)
            return;
        toutes.push_back(t);
        if (p->phase_run == PHASE_BOUCLE) {
            if (pompes.empty())
                cpu_debut = cpu_fil_s();
            pompes.push_back(t);
            ++n_boucle;
            if (clic.load() && p->run && !p->run->stoppe() && t_stop == Horloge::time_point{}) {
                button_Stop_Click(*p);
                t_stop = Horloge::now();
            }
        }
    }
    void remet()
    {
        clic = false;
        t_clic = t_stop = {};
        pompes.clear();
        toutes.clear();
        n_boucle = 0;
        cpu_debut = -1;
    }
};

double plus_long_ecart_ms(const std::vector<Horloge::time_point>& t)
{
    double pire = 0;
    for (size_t i = 1; i < t.size(); ++i)
        pire = std::max(pire, secondes(t[i - 1], t[i]) * 1000);
    return pire;
}

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

// Every channel: 1024 microphones, 16 analogue, 4 counters, status (1045 words).
Selection toutes_les_voies()
{
    Selection tout;
    for (auto& f : tout.micros)
        f.fill(true);
    tout.va.fill(true);
    tout.compteurs.fill(true);
    tout.etat = true;
    return tout;
}

// Streams `frames` frames through a run, recording off: the ring, the
// counter check and the levels; MB/s.
double pass_ring(Principale& p, uint32_t frames)
{
    ParametresRun r;
    r.nb_voies = 1045;
    r.nb_micros = 1024;
    r.compteur = true;
    const Selection tout = toutes_les_voies();
    for (const auto& c : tout.commandes())
        r.commandes_selection.push_back(c);
    std::vector<int32_t> voies(1043);
    voies.resize(static_cast<size_t>(tout.liste_voies(voies.data())));
    r.voies = voies;
    r.ligne_freq = 0;
    r.duree = static_cast<float>(frames) / 50000.0f;
    r.enregistre = false;
    p.boitier.count_def = false;
    ObservateurRun muet;
    Run run(p.boitier, std::move(r), FichiersRun{}, muet);
    auto t0 = Horloge::now();
    run.execute();
    double s = secondes(t0, Horloge::now());
    if (run.erreur_compteur() || run.ntr() != 4ull * 1045 * run.count())
        std::fprintf(stderr, "warning: stream of %llu bytes, counter error %d\n",
                     static_cast<unsigned long long>(run.ntr()), run.erreur_compteur());
    return run.ntr() / s / 1e6;
}

// The disk's own limit: 16 MiB fwrite calls from 32 distinct buffers, as
// the ring writes them, from the open to the end of the fsync; MB/s.
double pass_fwrite(const std::string& path, uint64_t bytes, double* s_fwrite = nullptr, double* s_fsync = nullptr)
{
    std::vector<std::vector<unsigned char>> blocks(NB_TRANSFERTS);
    for (int i = 0; i < NB_TRANSFERTS; ++i)
        blocks[i].assign(TAILLE_PAQUET, static_cast<unsigned char>(i));
    auto t0 = Horloge::now();
    std::FILE* f = ouvre_fichier(path, "wb+");
    if (!f)
        return 0;
    uint64_t written = 0;
    for (int i = 0; written < bytes; i = (i + 1) % NB_TRANSFERTS)
        written += std::fwrite(blocks[i].data(), 1, TAILLE_PAQUET, f);
    const auto t1 = Horloge::now();
    synchronise(f);
    std::fclose(f);
    const auto t2 = Horloge::now();
    if (s_fwrite)
        *s_fwrite = secondes(t0, t1);
    if (s_fsync)
        *s_fsync = secondes(t1, t2);
    return written / secondes(t0, t2) / 1e6;
}

// One level pass over 2000 frames of 1045 words; ms.
double pass_niveaux()
{
    std::vector<int32_t> mots(MOTS_PAQUET);
    for (uint32_t w = 0; w < MOTS_PAQUET; ++w)
        mots[w] = static_cast<int32_t>((w * 2654435761u) >> 8) - (1 << 23);
    const Selection tout = toutes_les_voies();
    std::vector<int32_t> voies(1043);
    const int n = tout.liste_voies(voies.data());
    DispositionNiveaux d;
    d.dispose(voies.data(), n, 1045);
    std::array<int, NB_MICROS> niveaux{};
    const auto* octets = reinterpret_cast<const unsigned char*>(mots.data());
    calcule_niveaux(octets, TAILLE_PAQUET, d, niveaux); // the pages are touched once
    const int repeats = 50;
    auto t0 = Horloge::now();
    for (int i = 0; i < repeats; ++i)
        calcule_niveaux(octets, TAILLE_PAQUET, d, niveaux);
    return secondes(t0, Horloge::now()) * 1000 / repeats;
}

// The system's disk, with the time spent in the data file's writes, and
// the CPU time of the thread that makes them (the run's writer).
struct DisqueChronometre : Disque {
    double s_fwrite = 0, cpu_ecriture = 0;
    int directs = 0, tamponnes = 0;
    std::size_t ecrit(std::FILE* f, const unsigned char* octets, std::size_t n) override
    {
        const auto t = Horloge::now();
        const double c = cpu_fil_s();
        const std::size_t r = Disque::ecrit(f, octets, n);
        cpu_ecriture += cpu_fil_s() - c;
        s_fwrite += secondes(t, Horloge::now());
        ++tamponnes;
        return r;
    }
    std::size_t ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n) override
    {
        const auto t = Horloge::now();
        const double c = cpu_fil_s();
        const std::size_t r = Disque::ecrit_direct(f, position, octets, n);
        cpu_ecriture += cpu_fil_s() - c;
        s_fwrite += secondes(t, Horloge::now());
        ++directs;
        return r;
    }
    void remet() { s_fwrite = cpu_ecriture = 0, directs = tamponnes = 0; }
};

// A plain loop of 16 MiB fwrite calls from 32 buffers, paced as the box's
// highest rate streams them (one packet every 80.3 ms at 1045 words per
// frame), for `duree` seconds; the CPU time of its thread, seconds.
double pass_fwrite_cadence(const std::string& path, double duree)
{
    std::vector<std::vector<unsigned char>> blocks(NB_TRANSFERTS);
    for (int i = 0; i < NB_TRANSFERTS; ++i)
        blocks[i].assign(TAILLE_PAQUET, static_cast<unsigned char>(i));
    std::FILE* f = ouvre_fichier(path, "wb+");
    if (!f)
        return -1;
    const double periode = TAILLE_PAQUET / (4.0 * 1045 * 50000);
    const auto t0 = Horloge::now();
    const double c0 = cpu_fil_s();
    for (int k = 0; secondes(t0, Horloge::now()) < duree; ++k) {
        std::this_thread::sleep_until(
            t0 + std::chrono::duration_cast<Horloge::duration>(std::chrono::duration<double>(k * periode)));
        std::fwrite(blocks[k % NB_TRANSFERTS].data(), 1, TAILLE_PAQUET, f);
    }
    const double cpu = cpu_fil_s() - c0;
    synchronise(f);
    std::fclose(f);
    return cpu;
}

// What the passes share: the folder, the sizes, the model over the box.
struct Banc {
    std::filesystem::path dossier;
    std::string data;
    uint64_t octets = 0;
    uint32_t trames = 0;
    int paires = 5;
    double rythme_s = 6;
    std::vector<bool> analyses; // the runs without and with the health check
    sim::Options so;
    sim::SimulatedBox& box;
    Operateur& op;
    DisqueChronometre& disque;
    Principale& p;

    // The live health check as the analysis window asks it, or nothing.
    void regle_sante(bool oui)
    {
        p.analyse_ouverte = oui;
        regle_analyse(p);
    }
    // What the health check kept up with in the run just made.
    void bilan_sante(bool oui) const
    {
        if (!oui)
            return;
        const ResultatsDirect r = p.direct.resultats();
        const uint64_t n = p.dernier.ntr / (4ull * 1045);
        std::printf("  health check               : %llu of %u packets left out, %llu of %llu frames checked "
                    "(%.1f %%)\n",
                    static_cast<unsigned long long>(r.paquets_ignores), p.dernier.num_pkt,
                    static_cast<unsigned long long>(r.trames_sante), static_cast<unsigned long long>(n),
                    n ? 100.0 * double(r.trames_sante) / double(n) : 0.0);
    }
    void efface_run() const
    {
        std::filesystem::remove(data);
        std::filesystem::remove(dossier / "bench.Ond");
        std::filesystem::remove(dossier / "bench.log");
    }
};

constexpr double REPOS_S = 4;

double mediane(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// One whole recorded run from Start, then the fwrite loop to the same
// folder; the ratio of their rates, both to the end of an fsync. The first
// pair also prints where the run's time went.
double paire_enregistree(Banc& b, int paire, bool avec_sante, bool& complet)
{
    Principale& p = b.p;
    Operateur& op = b.op;
    b.regle_sante(avec_sante);
    selection_1045(p);
    p.ctl.listBox_Freq.top_index = 0;
    p.ctl.checkBox_Definie.checked = true;
    checkBox_Definie_CheckedChanged(p);
    set_duree_maximum(p, duree_max_de(50000));
    set_duree(p, b.trames / 50000.0);
    op.remet();
    // The data file's writes, timed as they are made.
    b.disque.s_fwrite = 0;
    op.enregistre = true;
    const double copie_avant = b.box.view().stream.copy_seconds;
    const auto debut_handler = Horloge::now();
    button_Start_Click(p);
    const auto fin_handler = Horloge::now();
    const double cpu_fin = cpu_fil_s();
    synchronise(b.data);
    const auto fin_run = Horloge::now();
    op.enregistre = false;
    const double s_fwrite = b.disque.s_fwrite;
    const double s_copie = b.box.view().stream.copy_seconds - copie_avant;
    // From the Start command (the first pump follows it) to the end of the
    // fsync: the handler's pauses before it (selection, frequency) are not
    // streaming.
    const auto debut_flux = op.pompes.empty() ? debut_handler : op.pompes.front();
    const double run = p.dernier.ntw / secondes(debut_flux, fin_run) / 1e6;
    complet = p.fin_run == FIN_COMPLETE;
    if (!complet)
        std::fprintf(stderr, "%s\n", p.pane.text.c_str());
    p.pane.text.clear();
    b.efface_run();
    settle(REPOS_S + secondes(debut_handler, debut_flux));
    double s_ecriture = 0, s_sync = 0;
    const double disk = pass_fwrite(b.data, b.octets, &s_ecriture, &s_sync);
    std::filesystem::remove(b.data);
    settle(REPOS_S);
    const double ratio = disk > 0 ? run / disk : 0;
    std::printf("pair %d%s: recorded run %6.0f MB/s (%s), fwrite loop %6.0f MB/s (%.2f s of fwrite, %.2f s of "
                "fsync): %.3f\n",
                paire + 1, avec_sante ? ", health check" : "", run, complet ? "complete" : "NOT complete", disk,
                s_ecriture, s_sync, ratio);
    b.bilan_sante(avec_sante);
    if (paire > 0 || op.pompes.empty())
        return ratio;
    std::printf("  first run                  : %8.2f s from the Start command to the idle window, %.2f s of "
                "fsync\n",
                secondes(debut_flux, fin_handler), secondes(fin_handler, fin_run));
    std::printf("  main loop                  : %8.2f s, end of run %.2f s; %.2f s of the data file's fwrite "
                "calls\n",
                secondes(debut_flux, op.pompes.back()), secondes(op.pompes.back(), fin_handler), s_fwrite);
    if (op.cpu_debut >= 0 && cpu_fin >= 0)
        std::printf("  CPU of the logic's thread  : %8.2f s; the box thread copying the stream: %.2f s\n",
                    cpu_fin - op.cpu_debut, s_copie);
    return ratio;
}

// Whole recorded runs against the fwrite loop, in pairs; the median ratio
// of the pairs. A first, untimed pass: on a virtual disk the first write to
// a region costs more than the next ones, which land where it did. Each
// fwrite pass follows its run and starts its writes as long after the sync
// as the run did (its preparation: pauses, buffers).
void passes_enregistrees(Banc& b)
{
    settle(REPOS_S);
    pass_fwrite(b.data, b.octets);
    std::filesystem::remove(b.data);
    settle(REPOS_S);
    b.p.ctl.textBox_Rep.text = b.dossier.string() + "/";
    b.p.ctl.textBox_Nom_Fich.text = "bench";
    button_Init_Click(b.p);
    std::vector<double> ratios[2];
    bool tous_complets = true;
    for (int paire = 0; paire < b.paires; ++paire) {
        // The first run of all is the slowest: each side goes first in turn.
        std::vector<bool> ordre = b.analyses;
        if (paire % 2)
            std::reverse(ordre.begin(), ordre.end());
        for (const bool avec_sante : ordre) {
            bool complet = false;
            ratios[avec_sante].push_back(paire_enregistree(b, paire, avec_sante, complet));
            tous_complets &= complet;
        }
    }
    for (const bool avec_sante : b.analyses) {
        std::vector<double> tri = ratios[avec_sante];
        std::sort(tri.begin(), tri.end());
        std::printf("whole run / fwrite loop      : %8.3f median of %d pairs (%.3f to %.3f)%s%s\n", mediane(tri),
                    b.paires, tri.empty() ? 0.0 : tri.front(), tri.empty() ? 0.0 : tri.back(),
                    avec_sante ? ", health check on" : "", tous_complets ? "" : ", a run NOT complete");
    }
}

struct FiguresCadencees {
    double rapport = -1, ecart_ms = 0, clic_ms = -1;
};

// One run paced at 50 000 Hz, levels on, recording, until an operator's
// click; then the same stretch of time through a plain paced fwrite loop.
FiguresCadencees run_cadence(Banc& b, bool avec_sante)
{
    Principale& p = b.p;
    Operateur& op = b.op;
    b.disque.remet();
    p.ctl.checkBox_Definie.checked = false;
    checkBox_Definie_CheckedChanged(p);
    b.regle_sante(avec_sante);
    selection_1045(p);
    op.remet();
    op.enregistre = true;
    std::thread cliqueur([&] {
        // The click comes at some moment between two pumps, once the run streams.
        while (op.n_boucle < 2 && op.enregistre)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(b.rythme_s * 1000)));
        op.t_clic = Horloge::now();
        op.clic = true;
    });
    button_Start_Click(p);
    const auto fin = Horloge::now();
    const double cpu1 = cpu_fil_s();
    op.enregistre = false;
    cliqueur.join();
    b.efface_run();
    const double cpu0 = op.cpu_debut;
    const auto debut = op.pompes.empty() ? fin : op.pompes.front();
    const double mur = secondes(debut, fin);
    std::printf("\npaced run at 50 000 Hz, 1045 words per frame, levels on, recording%s (%s, %.1f s, %llu MB):\n",
                avec_sante ? ", health check" : "", p.fin_run == FIN_STOPPEE ? "stopped" : "NOT stopped", mur,
                static_cast<unsigned long long>(p.dernier.ntw / 1000000));
    if (cpu0 >= 0 && cpu1 >= 0 && mur > 0)
        std::printf("  CPU of the logic's thread  : %8.1f %% of a core, from the first pump of the main loop to idle\n",
                    100 * (cpu1 - cpu0) / mur);
    std::printf("  writer's disk calls        : %8.1f %% of a core (%d direct, %d buffered writes, %.2f s in them)\n",
                mur > 0 ? 100 * b.disque.cpu_ecriture / mur : 0.0, b.disque.directs, b.disque.tamponnes,
                b.disque.s_fwrite);
    FiguresCadencees f;
    f.ecart_ms = plus_long_ecart_ms(op.pompes);
    std::printf("  longest gap between pumps  : %8.1f ms in the main loop, %.1f ms from Start to idle\n", f.ecart_ms,
                plus_long_ecart_ms(op.toutes));
    if (op.t_stop != Horloge::time_point{}) {
        f.clic_ms = secondes(op.t_clic, op.t_stop) * 1000;
        std::printf("  click to Stop sent         : %8.1f ms; click to window idle: %.1f ms\n", f.clic_ms,
                    secondes(op.t_clic, fin) * 1000);
    } else {
        std::printf("  the click was never acted on\n");
    }
    b.bilan_sante(avec_sante);
    settle(1);
    const double cpu_fwrite = pass_fwrite_cadence(b.data, mur);
    std::filesystem::remove(b.data);
    if (cpu_fwrite > 0 && cpu0 >= 0 && cpu1 >= 0) {
        f.rapport = (cpu1 - cpu0) / cpu_fwrite;
        std::printf("  paced fwrite loop          : %8.1f %% of a core for %.1f s; run thread / fwrite loop: %.3f\n",
                    100 * cpu_fwrite / mur, mur, f.rapport);
    }
    settle(1);
    return f;
}

void passes_cadencees(Banc& b)
{
    b.so.paced = true;
    b.box.set_options(b.so);
    std::vector<double> rapports, ecarts, clics;
    for (int essai = 0; essai < b.paires * static_cast<int>(b.analyses.size()); ++essai) {
        const bool avec_sante = b.analyses[essai % b.analyses.size()];
        const FiguresCadencees f = run_cadence(b, avec_sante);
        if (avec_sante)
            continue;
        ecarts.push_back(f.ecart_ms);
        if (f.clic_ms >= 0)
            clics.push_back(f.clic_ms);
        if (f.rapport >= 0)
            rapports.push_back(f.rapport);
    }
    if (!rapports.empty())
        std::printf("\npaced runs, median of %zu: run thread / paced fwrite loop %.3f (%.3f to %.3f), longest gap "
                    "%.1f ms, click to Stop sent %.1f ms\n",
                    rapports.size(), mediane(rapports), *std::min_element(rapports.begin(), rapports.end()),
                    *std::max_element(rapports.begin(), rapports.end()), mediane(ecarts), mediane(clics));
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const fs::path dossier = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "bench-out";
    const double gib = argc > 2 ? std::atof(argv[2]) : 2.0;
    const std::string sante = argc > 5 ? argv[5] : "off";
    if (sante != "off" && sante != "on" && sante != "both") {
        std::fprintf(stderr, "usage: anneau_bench [folder] [GiB] [paced s] [pairs] [off|on|both]\n");
        return 2;
    }
    fs::create_directories(dossier);
    sim::Options so;
    so.paced = false;
    so.trigger_delay_ms = -1;
    sim::SimulatedBox box(so);
    Operateur op;
    SystemClock clock;
    DisqueChronometre disque;
    Principale p(box, op, clock, Conventions::english(), disque);
    op.p = &p;
    Banc b{dossier, (dossier / "bench.dat").string(), 0, 0, 5, 6, {}, so, box, op, disque, p};
    b.octets = static_cast<uint64_t>(gib * 1073741824.0);
    b.trames = static_cast<uint32_t>(b.octets / (4 * 1045) + 1);
    b.rythme_s = argc > 3 ? std::atof(argv[3]) : 6.0;
    b.paires = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    if (sante != "on")
        b.analyses.push_back(false);
    if (sante != "off")
        b.analyses.push_back(true);
    p.config_en_cours = (dossier / "config_en_cours.txt").string();
    fs::remove(p.config_en_cours); // the settings of an earlier bench stay out
    construction(p);
    selection_1045(p);
    if (init_USB(p.boitier) != 0)
        return 1;
    choix_micros(p, true);
    std::printf("frames of %d words, %.2f GiB per disk pass, folder %s\n", p.nb_voies, gib, dossier.string().c_str());

    // 1. The ring alone.
    const double off = pass_ring(p, b.trames);
    std::printf("ring, recording off          : %8.0f MB/s, %.1f x the box's highest rate (209 MB/s)\n", off,
                off / 209.0);
    // 2. Whole recorded runs against the fwrite loop.
    passes_enregistrees(b);
    // 3. The level refresh.
    const double pass_ms = pass_niveaux();
    const double packet_ms = std::floor(TAILLE_PAQUET / (4.0 * 1045)) / 50.0;
    std::printf("level refresh pass           : %8.2f ms, %.1f %% of one packet (%.0f ms)\n", pass_ms,
                100 * pass_ms / packet_ms, packet_ms);
    // 4. Paced at 50 000 Hz, levels on, recording, until an operator's click.
    passes_cadencees(b);
    return 0;
}
